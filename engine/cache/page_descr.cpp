#include "engine/cache/page_descr.h"

#include <algorithm>
#include <mutex>

#include "engine/agent/anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "engine/cache/local_name.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"

IMPLEMENT_SERIAL(CPageDescr, CObject, 1)

void CPageDescr::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<std::uint32_t>(m_links.size()));
    for (const auto& link : m_links) ar.WriteOwnedObject(link.get());
    ar.WriteString(m_strAddress);
    ar.WriteString(m_strLocalFile);
    ar.WriteByte(static_cast<std::uint8_t>(m_nState));
    ar.WriteDWord(m_tLastRetrievalEnd);
    ar.WriteDWord(m_tStoredAt);
    ar.WriteByte(static_cast<std::uint8_t>(m_nCopyKept));
    ar.WriteDWord(m_tLinksUpdated);
    ar.WriteDWord(m_tStateChanged);
    ar.WriteByte(static_cast<std::uint8_t>(m_bFlag));
    ar.WriteString(m_strStatusLine);
    ar.WriteDWord(static_cast<std::uint32_t>(m_nContentLength));
    ar.WriteString(m_strContentType);
    ar.WriteString(m_strLastModifiedText);
    ar.WriteString(m_strLocation);
    ar.WriteString(m_strTitle);
    ar.WriteDWord(m_tLastModified);
    ar.WriteString(m_strRealm);
    ar.WriteDWord(static_cast<std::uint32_t>(m_nStatusCode));
    ar.WriteString(m_strStatusText);
    return;
  }
  m_links.clear();
  const std::uint32_t count = ar.ReadCount(2);
  for (std::uint32_t i = 0; i < count; ++i) {
    auto link = ar.ReadNew<CPageChild>();
    if (!link) throw CArchiveException("empty link entry");
    m_links.push_back(std::move(link));
  }
  m_strAddress = ar.ReadString();
  m_strLocalFile = ar.ReadString();
  m_nState = ar.ReadByte();
  // The page store names every file it makes: any other name (a path, the
  // index's own) would let the record reach a file that is not a page.
  if (!m_strLocalFile.empty() && !hv::cache::IsStoredFileName(m_strLocalFile)) ForgetLocalName();
  m_tLastRetrievalEnd = ar.ReadDWord();
  m_tStoredAt = ar.ReadDWord();
  m_nCopyKept = ar.ReadByte();
  m_tLinksUpdated = ar.ReadDWord();
  m_tStateChanged = ar.ReadDWord();
  m_bFlag = ar.ReadByte();
  m_strStatusLine = ar.ReadString();
  m_nContentLength = static_cast<std::int32_t>(ar.ReadDWord());
  m_strContentType = ar.ReadString();
  m_strLastModifiedText = ar.ReadString();
  m_strLocation = ar.ReadString();
  m_strTitle = ar.ReadString();
  m_tLastModified = ar.ReadDWord();
  m_strRealm = ar.ReadString();
  m_nStatusCode = static_cast<std::int32_t>(ar.ReadDWord());
  m_strStatusText = ar.ReadString();
}

void CPageDescr::ForgetLocalName() {
  m_strLocalFile.clear();
  m_bodyDigest.reset();
  if (m_nState == kInterrupted || m_nState == kStored) m_nState = kNotStored;
}

CPageDescr* CPageDescr::AddLink(CCache& cache, const std::string& address, int linkType, CPageChild* existing,
                                CPageChild** newLink) {
  std::unique_lock lock(CCache::Lock());
  CPageDescr* target = cache.FindOrCreate(address);
  if (!target || target == this) return nullptr;
  if (!existing) {
    auto link = std::make_unique<CPageChild>();
    link->m_nLinkType = linkType;
    link->m_strAddress = target->m_strAddress;
    m_links.push_back(std::move(link));
    if (newLink) *newLink = m_links.back().get();
  }
  lock.release();  // the caller's to release
  return target;
}

void CPageDescr::MarkUsed(CCache& cache, bool keepCopy) {
  m_bInUse = 1;
  if (keepCopy) m_bKeepCopy = 1;
  const auto gone = std::remove_if(m_links.begin(), m_links.end(), [&cache](const std::unique_ptr<CPageChild>& link) {
    CPageDescr* target = cache.Find(link->m_strAddress);
    if (target) target->m_bInUse = 1;  // a link keeps its target, never its copy
    return target == nullptr;
  });
  if (gone == m_links.end()) return;
  m_links.erase(gone, m_links.end());
  if (CCacheTotals* totals = cache.Totals()) totals->MarkCacheChanged();
}

void CPageDescr::RebuildLinks(CLinkOwner& location) {
  // Walks by index and finds a refused link again by address: the location
  // may call back into this record while it adds children.
  for (std::size_t i = 0; i < m_links.size();) {
    CPageChild* link = m_links[i].get();
    if (CAnchor* anchor = location.AddLink(link->m_strAddress, link->m_nLinkType, false, link, nullptr, nullptr)) {
      if (!link->m_strTitle.empty()) anchor->SetName(link->m_strTitle, 1);
      ++i;
      continue;
    }
    const auto it = std::find_if(m_links.begin(), m_links.end(),
                                 [link](const std::unique_ptr<CPageChild>& l) { return l.get() == link; });
    if (it == m_links.end()) {
      ++i;
      continue;
    }
    i = static_cast<std::size_t>(it - m_links.begin());
    if (location.KeepsRefusedLink(**it)) {
      ++i;
      continue;
    }
    m_links.erase(it);
  }
}
