// The start and the end of a page record's retrieval by a location.
#include <ctime>

#include "engine/cache/cache.h"
#include "engine/cache/cache_totals.h"
#include "engine/cache/page_descr.h"

namespace {

std::uint32_t Now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

bool InRun(std::uint32_t t, std::uint32_t runStart) { return t != 0 && t >= runStart; }

bool IsStoredState(std::int32_t state) {
  return state == CPageDescr::kInterrupted || state == CPageDescr::kStored;
}

}  // namespace

void CPageDescr::ClearResponse() {
  m_strStatusLine.clear();
  m_nStatusCode = 0;
  m_strStatusText.clear();
  m_nContentLength = 0;
  m_strContentType.clear();
  m_strTitle.clear();
  m_strRealm.clear();
  m_strLastModifiedText.clear();
  m_tLastModified = 0;
  m_bFlag = 0;
  m_strLocation.clear();
}

int CPageDescr::StartRetrieval(CCache& cache, CAnchor* location, int loadDetail, CPageDescr* referrer,
                               std::uint32_t runStart) {
  if (loadDetail != 0)
    PrepareFile(cache, referrer);
  else
    DropFile(cache, referrer);
  const int previous = m_nState;
  // Credentials asked for earlier in this run stay asked for.
  const bool firstInRun = !InRun(m_tRetrievalStart, runStart) && !InRun(m_tLastRetrievalEnd, runStart);
  m_nState = kRetrieving;
  m_tRetrievalStart = Now();
  m_pRetriever = location;
  m_nRetrieverKeepsCopy = loadDetail;
  // The placeholder mark stays until a body is read: whether the stored copy
  // shows placeholders decides how the page is asked for.
  ClearResponse();
  if (firstInRun) m_bChanged = 0;
  return previous;
}

bool CPageDescr::EndRetrieval(CCache& cache, CAnchor* location, int loadDetail, bool completed, bool parserFinished,
                              std::uint32_t runStart) {
  if (m_pRetriever != location) return true;
  bool diskLeft = true;
  const bool wasStored = IsStoredState(m_nState);
  const std::uint32_t now = Now();
  if (m_tLinksUpdated < runStart) m_tLinksUpdated = now;
  if (completed) {
    m_tStoredAt = now;
    m_nCopyKept = loadDetail;
    // A site map keeps no copy, so nothing is stored.
    m_nState = loadDetail != 0 ? kStored : kNotStored;
  } else {
    diskLeft = MarkInterrupted(cache, parserFinished);
  }
  if (wasStored != IsStoredState(m_nState)) {
    m_tStateChanged = now;
    m_pStateChangedBy = nullptr;
  }
  m_tLastRetrievalEnd = now;
  m_pRetriever = nullptr;
  m_tRetrievalStart = 0;
  // The record changed though the tree may not have: the index is saved.
  if (CCacheTotals* totals = cache.Totals()) totals->MarkCacheChanged();
  return diskLeft;
}

void CPageDescr::EndFailedRetrieval(CCache& cache, CAnchor* location, int keptState, std::uint32_t runStart) {
  if (m_pRetriever != location) return;
  const std::uint32_t now = Now();
  if (m_tLinksUpdated < runStart) m_tLinksUpdated = now;
  if (IsStoredState(keptState))
    m_nState = keptState;
  else
    DropFile(cache, nullptr);
  m_tLastRetrievalEnd = now;
  m_pRetriever = nullptr;
  m_tRetrievalStart = 0;
}
