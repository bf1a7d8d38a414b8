// A page location in a run: whether its page is loaded, the request for it,
// the answer by status code, and the end of its load.
#include <strings.h>

#include <cstring>
#include <mutex>

#include "engine/agent/agent_manager.h"
#include "engine/agent/http_anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/page_descr.h"
#include "engine/http/authen.h"
#include "engine/http/http_async_client.h"
#include "engine/http/http_async_server.h"
#include "engine/http/url.h"
#include "engine/retrieval/link_test.h"
#include "engine/retrieval/retrieval_run.h"

namespace {

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
  return strncasecmp(text.c_str(), prefix, std::strlen(prefix)) == 0;
}

// Client errors after which the page has no copy worth keeping.
bool DropsCopy(int code) { return code == 400 || (code >= 402 && code <= 406) || (code >= 408 && code <= 411); }

// Whether a location of the load detail takes a body of the content type.
bool Wanted(const std::string& contentType, int loadDetail) {
  return loadDetail == 3 || StartsWithIgnoringCase(contentType, "text/") ||
         (loadDetail == 2 && StartsWithIgnoringCase(contentType, "image/"));
}

}  // namespace

int CHTTPAnchor::LoadDetail() { return EffectiveSettings().loadDetail; }

bool CHTTPAnchor::NeedsLoadingInRun(int loadDetail, bool loaderRule) {
  const CPageDescr& page = *m_pPage;
  using hv::run::InRun;
  if (loaderRule && page.m_pRetriever == this) return true;
  if (loadDetail != 0) {
    // A page loaded for the site map only is loaded again for its text.
    if (InRun(page.m_tRetrievalStart)) return page.m_nRetrieverKeepsCopy == 0;
    if (InRun(page.m_tStoredAt)) return page.m_nCopyKept == 0;
  } else if (InRun(page.m_tRetrievalStart)) {
    return false;
  }
  return !InRun(page.m_tLastRetrievalEnd);
}

int CHTTPAnchor::RetrievalDecision() {
  const hv::LoadSettings s = EffectiveSettings();
  if (!NeedsLoadingInRun(s.loadDetail, true)) return -1;
  hv::LinkQuery query;
  query.isRoot = IsRunLocationRoot() == 1;
  query.levels = hv::RetrievalLevels(this);
  query.linkType = s.linkType;
  query.asking = m_pParent;
  query.url = GetPageUrl();
  query.fileTypeIndex = s.fileTypeIndex;
  query.locationIndex = s.locationIndex;
  return hv::LinkTest(query);
}

void CHTTPAnchor::Queue() {
  CCache* cache = hv::run::Cache();
  std::lock_guard guard(CCache::Lock());
  const int depth = m_pNode && m_pPage && cache ? RetrievalDecision() : -1;
  m_nRetrievalDepth = depth;
  CAnchor::Queue();
  if (depth < 0) {
    EndWithoutWork();
    return;
  }
  PrepareForRetrieval(depth, nullptr);
  SubmitRequest();
}

void CHTTPAnchor::PrepareForRetrieval(int depth, CPageDescr* referrer) {
  // The children stay known until the page has been read again: a link to
  // the same address brings the same child (and its node) back. Items the
  // user put here are not the page's links and stay where they are.
  std::vector<std::unique_ptr<CAnchor>> kept;
  for (auto& child : m_children) {
    if (child->m_bUserItem)
      kept.push_back(std::move(child));
    else
      m_previousChildren.push_back(std::move(child));
  }
  m_children = std::move(kept);
  m_nRetrievalDepth = depth;
  // The state before an empty file may be made for the page: only a copy
  // that was there may be asked for as not modified.
  CPageDescr& page = *m_pPage;
  const bool stored = page.m_nState == CPageDescr::kStored || page.m_nState == CPageDescr::kInterrupted;
  m_nPreviousState = stored && !page.FileExists(*hv::run::Cache()) ? CPageDescr::kNotStored : page.m_nState;
  m_pEarlier = std::make_unique<EarlierAnswer>(
      EarlierAnswer{page.m_tLastModified, page.m_strLastModifiedText, page.m_strTitle, page.m_strContentType});
  m_bBodyTaken = false;
  m_pPage->StartRetrieval(*hv::run::Cache(), this, LoadDetail(), referrer, hv::run::RunStart());
}

void CHTTPAnchor::SubmitRequest() {
  // Made and submitted under the cache lock, so the request may call this
  // anchor back from a worker only once this anchor has finished with it.
  auto* request = new CHTTPAsyncClient(this, CCache::Lock());
  m_pRequest = request;
  m_bAnswered = false;
  CHTTPAsyncServer::Instance().Submit(request);
}

void CHTTPAnchor::DetachRequest() {
  std::lock_guard guard(CCache::Lock());
  if (m_pRequest) m_pRequest->DetachOwner();
  m_pRequest = nullptr;
}

// ---- what the transfer asks ----------------------------------------------

void CHTTPAnchor::GetAcceptTypes(std::string& types) {
  switch (LoadDetail()) {
    case 3:
      types = "*/*";
      break;
    case 2:
      types = "text/*,image/*";
      break;
    default:
      types = "text/*";
      break;
  }
}

std::uint32_t CHTTPAnchor::GetIfModifiedSince() {
  const CPageDescr* page = m_pPage;
  CCache* cache = hv::run::Cache();
  if (!page || !cache || page->m_pRetriever != this) return 0;
  // Many servers answer "not modified" only for exactly the date they gave
  // the copy, not for a later one: their own date is sent when they gave one.
  const std::uint32_t dated = m_pEarlier ? m_pEarlier->lastModified : 0;
  const auto since = [dated](std::uint32_t retrieved) { return retrieved == 0 || dated == 0 ? retrieved : dated; };
  if (LoadDetail() == 0) return since(page->m_tStoredAt);
  // A copy showing the placeholder for objects not stored then is fetched
  // whole, so the objects it shows now are linked.
  const bool copyUsable = !page->m_bPlaceholderUsed && page->m_tStoredAt != 0 && page->m_nCopyKept != 0 &&
                          m_nPreviousState == CPageDescr::kStored && page->FileExists(*cache);
  if (copyUsable) return since(page->m_tStoredAt);
  // A file refused by its type is fetched again only when it changed.
  return RefusedBefore() ? dated : 0;
}

bool CHTTPAnchor::RefusedBefore() {
  return m_pEarlier && m_pEarlier->lastModified != 0 && !m_pEarlier->contentType.empty() &&
         m_nPreviousState == CPageDescr::kNotStored && !Wanted(m_pEarlier->contentType, LoadDetail());
}

int CHTTPAnchor::GetAuthorization(std::string& credentials) {
  credentials.clear();
  CPageDescr* page = m_pPage;
  if (!page) return 0;
  CAuthen::RequestState state;
  state.location = this;
  state.realm = page->m_strRealm;
  state.needsAuthentication = page->m_bChanged != 0;
  state.url = page->m_strAddress;
  state.runStart = hv::run::RunStart();
  state.now = hv::run::Now();
  state.interactive = !CAgentManager::Instance().m_bUnattended;
  const CAuthen::RequestCredentials answer = CAuthen::Instance().CredentialsFor(state);
  if (answer.forgetRealm) page->m_strRealm.clear();
  switch (answer.action) {
    case CAuthen::RequestCredentials::Action::send:
      credentials = answer.credentials;
      return 1;
    case CAuthen::RequestCredentials::Action::retry:
      SubmitRequest();
      return 0;
    case CAuthen::RequestCredentials::Action::endLoad:
      OnLoaded(0);
      return 0;
  }
  return 0;
}

void CHTTPAnchor::OnRequestQueued() {
  if (m_pNode) m_pNode->Queued();
}

void CHTTPAnchor::OnRequestStarted() {
  if (m_pNode) m_pNode->Started();
}

void CHTTPAnchor::OnRequestFinished(int status) {
  // A server that closed without a word sent no page: that is a failure,
  // not an empty page.
  if (status == 0 && !m_bAnswered) status = HttpStatus::receiveFailed;
  OnLoaded(status);
}

void CHTTPAnchor::OnRequestFreed(CHTTPAsyncClient* request) {
  if (m_pRequest == request) m_pRequest = nullptr;
}

// ---- the answer ------------------------------------------------------------

int CHTTPAnchor::OnHeaders() {
  m_bAnswered = true;
  CPageDescr* page = m_pPage;
  if (!page) {
    OnLoaded(0);
    return done;
  }
  CAuthen::Instance().CheckResponse(page->m_nStatusCode, page->m_strRealm, this, hv::run::Now());
  if (!page->m_strContentType.empty() && !Wanted(page->m_strContentType, LoadDetail())) {
    // The refused type stays in the record: the file is asked for again only
    // if it changed.
    page->ClearLinks();
    page->m_tLinksUpdated = hv::run::Now();
    OnLoaded(2);
    return rejected;
  }
  page->m_strContentType.clear();
  return OnStatusCode();
}

int CHTTPAnchor::OnStatusCode() {
  CPageDescr* page = m_pPage;
  const int code = page->m_nStatusCode;
  const int loadDetail = LoadDetail();
  switch (code) {
    case 200:
      page->m_tLinksUpdated = hv::run::Now();
      if (m_nRetrievalDepth == 0 && loadDetail == 0) return FinishFromStoredCopy(true);
      if (!page->m_bPlaceholderUsed && page->m_tLastModified != 0 && page->m_tLastModified <= page->m_tStoredAt &&
          (loadDetail == 0 || page->m_nCopyKept != 0)) {
        return FinishFromStoredCopy(true);
      }
      page->ClearLinks();
      return TakeBody();
    case 301:
    case 302:
      return OnRedirect();
    case 304:
      page->m_tLinksUpdated = hv::run::Now();
      return FinishFromStoredCopy(false);
    case 401:
      page->m_bChanged = 1;
      if (m_pNode) m_pNode->Reload();
      SubmitRequest();
      return done;
    default:
      page->ClearLinks();
      if (DropsCopy(code)) {
        OnLoaded(0, true);
        return done;
      }
      // Proxy authentication (407) is not offered: like any other answer
      // it ends the load, so the page is not left marked as being loaded.
      page->m_tLinksUpdated = hv::run::Now();
      OnLoaded(0);
      return done;
  }
}

int CHTTPAnchor::OnRedirect() {
  CPageDescr* page = m_pPage;
  CCache* cache = hv::run::Cache();
  page->ClearLinks();
  std::string target;
  ComposeUrl(target, page->m_strLocation.c_str(), page->m_strAddress.c_str(), URL_CANONICAL);
  if (m_pNode) m_pNode->Moved();
  if (target.empty() || target == page->m_strAddress) {
    // Nowhere else to go: the answer stands as it is.
    page->m_tLinksUpdated = hv::run::Now();
    OnLoaded(0);
    return done;
  }
  if (CPageDescr* existing = cache->Find(target)) {
    // A location the user added stays, now naming the page it was sent to;
    // any other anchor is gone after OnLoaded.
    if (!m_bUserItem) {
      OnLoaded(2);
      return rejected;
    }
    OnLoaded(2);
    if (m_pPage == page) {
      m_pPage = existing;
      ReAttachNode();
    }
    return rejected;
  }
  cache->RemoveKey(page->m_strAddress);
  page->m_strAddress = target;
  cache->AddKey(target, page);
  page->m_strLocation.clear();
  if (RetrievalDecision() < 0) {
    OnLoaded(2);
    return rejected;
  }
  if (m_pNode) m_pNode->Reload();
  SubmitRequest();
  return done;
}

int CHTTPAnchor::FinishFromStoredCopy(bool bodyFollows) {
  CCache* cache = hv::run::Cache();
  // The empty file made for this load is no copy.
  if (LoadDetail() != 0 && (m_nPreviousState != CPageDescr::kStored || !m_pPage->FileExists(*cache))) {
    if (bodyFollows) {
      m_pPage->ClearLinks();
      return TakeBody();
    }
    if (RefusedBefore()) {
      m_pPage->m_strContentType = m_pEarlier->contentType;
      KeepEarlierAnswer();
      OnLoaded(2);
      return rejected;
    }
    OnLoaded(0);
    return done;
  }
  RebuildChildren();
  OnLoaded(0);
  return done;
}

int CHTTPAnchor::TakeBody() {
  if (!BeginBody()) return done;
  m_bBodyTaken = true;
  return readOn;
}

void CHTTPAnchor::KeepEarlierAnswer() {
  CPageDescr* page = m_pPage;
  if (!page || !m_pEarlier) return;
  if (page->m_tLastModified == 0) {
    page->m_tLastModified = m_pEarlier->lastModified;
    page->m_strLastModifiedText = m_pEarlier->lastModifiedText;
  }
  if (page->m_strTitle.empty()) page->m_strTitle = m_pEarlier->title;
}

int CHTTPAnchor::OnData(const char* data, int length) { return ReceiveBody(data, length); }

// ---- the end -----------------------------------------------------------------

void CHTTPAnchor::DeletePreviousChildren() {
  std::vector<std::unique_ptr<CAnchor>> previous = std::move(m_previousChildren);
  m_previousChildren.clear();
  for (auto& child : previous) child.release()->DeleteTree();
}

void CHTTPAnchor::OnLoaded(int status) { OnLoaded(status, false); }

void CHTTPAnchor::OnLoaded(int status, bool dropCopy) {
  std::lock_guard guard(CCache::Lock());
  CCache* cache = hv::run::Cache();
  DeletePreviousChildren();
  const BodyEnd end = EndBody(status == 0);
  if (end.diskFull) hv::run::Stop();
  CPageDescr* page = m_pPage;
  if (page && cache && page->m_pRetriever == this) {
    if (status != 0) CAuthen::Instance().CheckResponse(0, page->m_strRealm, this, hv::run::Now());
    // An answer without a body neither makes nor replaces a copy: the empty
    // file made for the load goes, an earlier copy stays as it was.
    const bool bodiless = status == 0 && !m_bBodyTaken && LoadDetail() != 0;
    const bool hadCopy = m_nPreviousState == CPageDescr::kStored || m_nPreviousState == CPageDescr::kInterrupted;
    const bool completed = status == 0 && end.copyComplete && (!bodiless || hadCopy);
    if (!page->EndRetrieval(*cache, this, LoadDetail(), completed, end.partialCopy, hv::run::RunStart())) {
      hv::run::Stop();
    }
    if (bodiless && m_nPreviousState == CPageDescr::kInterrupted) page->m_nState = CPageDescr::kInterrupted;
    // The server has no such page (any more): its copy goes, and the user
    // hears of it as a change.
    if (dropCopy) page->DropFile(*cache, nullptr);
    if (status == 0 && !dropCopy && !m_bBodyTaken) KeepEarlierAnswer();
  }
  m_pEarlier.reset();
  CAnchor::OnLoaded(status);
  AfterLoaded(status);
  // A page refused by the strategy goes; a location the user added stays.
  if (status == 2 && !m_bUserItem) DeleteTree();
}
