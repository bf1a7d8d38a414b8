// Whether a page's body changed: its digest against that of the body its
// stored copy was made from. The same body keeps the copy as it is and the
// page is not modified, whatever its date says; otherwise the server's date
// decides, as it always did (also without the digest before: a copy older
// than digests, or their file lost). A modified page's copy before is kept
// as its previous copy.
#include "engine/agent/http_anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/page_descr.h"
#include "engine/retrieval/retrieval_run.h"

CHTTPAnchor::BodyChange CHTTPAnchor::JudgeBody(bool transferCompleted) {
  BodyChange change;
  const std::unique_ptr<hv::cache::CBodyHasher> hasher = std::move(m_pBodyHasher);
  CPageDescr* page = m_pPage;
  CCache* cache = hv::run::Cache();
  if (!hasher || !m_bBodyTaken || !transferCompleted || !page || !cache || page->m_pRetriever != this) return change;
  change.digest = hasher->Finish();
  const bool hadCopy = m_nPreviousState == CPageDescr::kStored && page->FileExists(*cache);
  if (!change.digest || !hadCopy) return change;
  change.same = page->m_bodyDigest && *page->m_bodyDigest == *change.digest;
  if (change.same) KeepStoredCopyIfSame();
  // The flag holds what the answer's date said.
  if (!change.same && page->m_bFlag) change.staged = cache->Previous().Stage(cache->Directory(), page->m_strLocalFile);
  return change;
}

void CHTTPAnchor::SettleBodyChange(const BodyChange& change, bool copyStands) {
  CCache* cache = hv::run::Cache();
  CPageDescr* page = m_pPage;
  if (!cache) return;
  if (!change.staged.empty()) {
    if (copyStands && page)
      cache->Previous().Keep(cache->Directory(), change.staged, page->m_strLocalFile);
    else
      cache->Previous().Discard(cache->Directory(), change.staged);
  }
  if (!copyStands || !page) return;
  page->m_bodyDigest = change.digest;
  if (change.same) page->m_bFlag = 0;
}
