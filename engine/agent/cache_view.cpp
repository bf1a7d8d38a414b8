#include "harvion/cache_view.h"

#include <string>
#include <unordered_set>

#include "engine/agent/agent_manager.h"
#include "engine/cache/cache.h"
#include "engine/cache/previous_copies.h"

namespace {

bool HasCopy(const CPageDescr& page) {
  return page.m_nState == CPageDescr::kStored || page.m_nState == CPageDescr::kInterrupted;
}

// Called with the cache lock held; previous: whether the page's local name
// has a previous copy.
template <class HasPrevious>
void FillRecordLocked(const CPageDescr& page, HvCacheRecord& record, bool withLinks, HasPrevious previous) {
  record.address = page.m_strAddress;
  record.state = page.m_nState;
  record.localFile = page.m_strLocalFile;
  record.previousFile.clear();
  if (HasCopy(page) && !page.m_strLocalFile.empty() && previous(page.m_strLocalFile))
    record.previousFile = hv::cache::CPreviousCopies::RelativePath(page.m_strLocalFile);
  record.lastRetrievalEnd = page.m_tLastRetrievalEnd;
  record.storedAt = page.m_tStoredAt;
  record.lastModified = page.m_tLastModified;
  record.stateChangedAt = page.m_tStateChanged;
  record.statusCode = page.m_nStatusCode;
  record.modified = page.m_bFlag && page.m_tLastModified != 0 ? 1 : 0;
  record.statusText = page.m_strStatusText;
  record.contentType = page.m_strContentType;
  record.contentLength = page.m_nContentLength;
  record.title = page.m_strTitle;
  record.links.clear();
  if (withLinks)
    for (const auto& link : page.m_links) record.links.push_back({link->m_nLinkType, link->m_strAddress, link->m_strTitle});
}

}  // namespace

bool VisitCacheRecords(const std::function<void(const HvCacheRecord&)>& visit, bool withLinks) {
  try {
    CCache* cache = CAgentManager::Instance().Cache();
    if (!cache) return false;
    // One look at the folder for all of them.
    const std::unordered_set<std::string> previous = hv::cache::CPreviousCopies::Names(cache->Directory());
    const auto hasPrevious = [&previous](const std::string& name) { return previous.count(name) != 0; };
    std::lock_guard guard(CCache::Lock());
    HvCacheRecord record;  // one, reused: its strings keep their room
    for (const CPageDescr* page : cache->Records()) {
      FillRecordLocked(*page, record, withLinks, hasPrevious);
      visit(record);
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool GetCacheRecord(const std::string& address, HvCacheRecord& record) {
  try {
    CCache* cache = CAgentManager::Instance().Cache();
    if (!cache || address.empty()) return false;
    std::lock_guard guard(CCache::Lock());
    const CPageDescr* page = cache->Find(address);
    if (!page) return false;
    const std::string folder = cache->Directory();
    FillRecordLocked(*page, record, false,
                     [&folder](const std::string& name) { return hv::cache::CPreviousCopies::Has(folder, name); });
    return true;
  } catch (...) {
    return false;
  }
}

std::vector<HvCacheRecord> GetCacheRecords() {
  std::vector<HvCacheRecord> out;
  if (!VisitCacheRecords([&out](const HvCacheRecord& record) { out.push_back(record); }, true))
    out.clear();  // memory ran out: nothing rather than a part
  return out;
}
