#include "engine/cache/page_descr.h"

#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"

IMPLEMENT_SERIAL(CPageDescr, CObject, 1)

void CPageDescr::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<std::uint32_t>(m_links.size()));
    for (const auto& link : m_links) ar.WriteObject(link.get());
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
