#include "engine/html/run_relink.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/cache/cache.h"

namespace {

bool HasStoredCopy(const CPageDescr& page) {
  return page.m_nState != CPageDescr::kNotStored && page.m_nCopyKept != 0 && !page.m_strLocalFile.empty();
}

// Whether the page's copy may name a target in a way the run made wrong.
// A copy dropped in this run may still be named by its file; one stored in
// this run after the page's links were written may be named by its address
// only. Changes the page's own links made were known when it was written.
bool LeftBehind(const CCache& cache, const CPageDescr& page, std::uint32_t runStart) {
  return std::any_of(page.m_links.begin(), page.m_links.end(), [&](const std::unique_ptr<CPageChild>& link) {
    const CPageDescr* target = cache.Find(link->m_strAddress);
    if (!target || target == &page || target->m_pStateChangedBy == &page || target->m_tStateChanged < runStart)
      return false;
    if (!HasStoredCopy(*target)) return !target->m_strLocalFile.empty();
    return target->m_tStateChanged > page.m_tLinksUpdated;
  });
}

}  // namespace

namespace hv {

void RelinkAfterRun(CCache& cache, std::uint32_t runStart) {
  std::vector<CPageDescr*> behind;
  {
    std::lock_guard guard(CCache::Lock());
    for (CPageDescr* page : cache.Records())
      if (page->m_nState == CPageDescr::kStored && HasStoredCopy(*page) && LeftBehind(cache, *page, runStart))
        behind.push_back(page);
  }
  // Records live until garbage collection, which no run overlaps.
  for (CPageDescr* page : behind) page->RewriteLinks(cache);
}

}  // namespace hv
