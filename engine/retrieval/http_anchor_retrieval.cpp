// A page location in a run: whether its page is loaded, the request for it,
// the answer by status code, and the end of its load.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/http_anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/page_descr.h"
#include "engine/html/css_rewriter.h"
#include "engine/http/authen.h"
#include "engine/http/http_async_client.h"
#include "engine/http/http_async_server.h"
#include "engine/http/transfer_failure.h"
#include "engine/http/url.h"
#include "engine/http/web_scheme.h"
#include "engine/retrieval/link_test.h"
#include "engine/retrieval/retrieval_run.h"
#include "engine/retrieval/run_limits.h"
#include "engine/settings/engine_app.h"
#include "harvion/ui_node.h"

namespace {

// How long a request waits before asking again for a realm another
// location holds.
constexpr int kRealmBusyRetryMs = 100;

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
  return strncasecmp(text.c_str(), prefix, std::strlen(prefix)) == 0;
}

// Only a server saying the page is gone takes its copy away; any other
// refusal may pass.
bool SaysGone(int code) { return code == 404 || code == 410; }

// A status line of HTTP/1.x; anything else (an HTTP/0.9 page, noise) is no
// answer to read fields from.
bool IsHttpAnswer(const CPageDescr& page) {
  return StartsWithIgnoringCase(page.m_strStatusLine, "HTTP/") && page.m_nStatusCode >= 100 &&
         page.m_nStatusCode <= 999;
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
  query.anyServer = s.requisites == CUINode::rqAnyServer && hv::IsRequisite(m_nLinkKind);
  return hv::LinkTest(query);
}

void CHTTPAnchor::Queue() {
  CCache* cache = hv::run::Cache();
  std::lock_guard guard(CCache::Lock());
  RecallLinkKind();
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

void CHTTPAnchor::RecallLinkKind() {
  const auto* parent = dynamic_cast<CHTTPAnchor*>(m_pParent);
  if (m_bUserItem || !parent || !parent->m_pPage || !m_pPage) return;
  for (const auto& link : parent->m_pPage->m_links) {
    if (link->m_strAddress.str() == m_pPage->m_strAddress) {
      m_nLinkKind = link->m_nLinkType;
      return;
    }
  }
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
  m_previousAt.clear();
  for (std::size_t slot = m_previousChildren.size(); slot-- > 0;)
    if (m_previousChildren[slot]) m_previousAt[m_previousChildren[slot]->GetPageUrl()].push_back(slot);
  m_nRetrievalDepth = depth;
  // The state before an empty file may be made for the page: only a copy
  // that was there may be asked for as not modified.
  CPageDescr& page = *m_pPage;
  CCache& cache = *hv::run::Cache();
  const bool stored = page.m_nState == CPageDescr::kStored || page.m_nState == CPageDescr::kInterrupted;
  m_nPreviousState = stored && !page.FileExists(cache) ? CPageDescr::kNotStored : page.m_nState;
  m_pEarlier = std::make_unique<EarlierAnswer>(
      EarlierAnswer{page.m_tLastModified, page.m_strLastModifiedText, page.m_strTitle, page.m_strContentType});
  m_bBodyTaken = false;
  const bool hadCopy = m_nPreviousState != CPageDescr::kNotStored && LoadDetail() != 0;
  m_pKeptCopy = hadCopy ? std::make_unique<CKeptCopy>(CKeptCopy::Of(page)) : nullptr;
  m_strLoadAddress = page.m_strAddress;
  m_strFailure.clear();
  m_nRedirects = 0;
  m_pPage->StartRetrieval(cache, this, LoadDetail(), referrer, hv::run::RunStart());
}

void CHTTPAnchor::SubmitRequest(int startDelayMs) {
  // Made and submitted under the cache lock, so the request may call this
  // anchor back from a worker only once this anchor has finished with it.
  auto* request = new CHTTPAsyncClient(this, CCache::Lock());
  request->SetStartDelayMs(startDelayMs);
  m_liveRequests.push_back(request);
  m_bAnswered = false;
  CHTTPAsyncServer::Instance().Submit(request);
}

void CHTTPAnchor::DetachRequests() {
  std::lock_guard guard(CCache::Lock());
  for (CHTTPAsyncClient* request : m_liveRequests) request->DetachOwner();
  m_liveRequests.clear();
  // A question of this page still open is nobody's now, and a realm held
  // for its answer is free for others.
  if (std::exchange(m_bAwaitingCredentials, false)) {
    CHTTPAsyncServer::Instance().Asker().Forget(this);
    CAuthen::Instance().ReleaseAll(this);
  }
}

// ---- what the transfer asks ----------------------------------------------

void CHTTPAnchor::GetAcceptTypes(std::string& types) { types = hv::AcceptTypes(LoadDetail(), m_nLinkKind); }

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
         m_nPreviousState == CPageDescr::kNotStored && !hv::ContentTypeWanted(m_pEarlier->contentType, LoadDetail(), m_nLinkKind);
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
  state.challengedUrl = m_strChallengedUrl;
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
      SubmitRequest(kRealmBusyRetryMs);
      return 0;
    case CAuthen::RequestCredentials::Action::endLoad:
      OnLoaded(0);
      return 0;
    case CAuthen::RequestCredentials::Action::ask:
      // This transfer ends here; the page waits for the answer without a
      // worker or a lock, and is asked for again once it comes.
      if (CHTTPAsyncServer::Instance().Asker().Ask(answer.realm, state.url, this, CCache::Lock())) {
        m_bAwaitingCredentials = true;
        return 0;
      }
      // Nobody can ask after all: as if the user cancelled.
      CAuthen::Instance().GiveUp(*answer.realm, state.now);
      OnLoaded(0);
      return 0;
  }
  return 0;
}

void CHTTPAnchor::OnCredentialsAnswered(CCredentialsAsker::Answer answer, CRealm& realm) {
  m_bAwaitingCredentials = false;
  switch (answer) {
    case CCredentialsAsker::Answer::confirmed:
      SubmitRequest();
      return;
    case CCredentialsAsker::Answer::cancelled:
      CAuthen::Instance().GiveUp(realm, hv::run::Now());
      OnLoaded(0);
      return;
    case CCredentialsAsker::Answer::dropped:
      // As a request still queued when the run stopped.
      OnRequestFinished(CAsyncServer::statusDropped);
      return;
  }
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
  const std::string detail = std::exchange(m_strFailureDetail, {});
  if (!m_bAnswered && status == HttpStatus::closed) {
    m_strFailure = hv::http::kClosedUnanswered;
  } else if (!m_bAnswered && status == HttpStatus::receiveFailed) {
    m_strFailure = hv::http::WithDetail(hv::http::kBrokenUnanswered, detail);
  } else if (!detail.empty()) {
    m_strFailure = hv::http::TransferFailureText(status, detail);
  }
  // A load that already ended (cut off at a limit) was counted then.
  if (m_bOwnPagePending) hv::run::NoteRequestEnd(status);
  if (status == CAsyncServer::statusRejected || status == CAsyncServer::statusDropped ||
      status == CAsyncServer::statusCutOff)
    hv::run::NoteIncomplete();
  OnLoaded(status);
}

void CHTTPAnchor::FailLoad(const char* reason) {
  m_strFailure = reason;
  OnLoaded(0);
}

void CHTTPAnchor::OnRequestFreed(CHTTPAsyncClient* request) {
  std::erase(m_liveRequests, request);
}

// ---- the answer ------------------------------------------------------------

int CHTTPAnchor::OnHeaders() {
  m_bAnswered = true;
  CPageDescr* page = m_pPage;
  if (!page) {
    OnLoaded(0);
    return done;
  }
  if (!IsHttpAnswer(*page)) {
    FailLoad(hv::http::kNotHttp);
    return done;
  }
  CAuthen::Instance().CheckResponse(page->m_nStatusCode, page->m_strAddress, page->m_strRealm, this, hv::run::Now());
  if (page->m_nStatusCode == 401) m_strChallengedUrl = page->m_strAddress;
  if (!page->m_strContentType.empty() && !hv::ContentTypeWanted(page->m_strContentType, LoadDetail(), m_nLinkKind)) {
    // The refused type stays in the record: the file is asked for again only
    // if it changed.
    page->ClearLinks();
    page->m_tLinksUpdated = hv::run::Now();
    OnLoaded(2);
    return rejected;
  }
  // A stylesheet's type stays: its copy is written anew as CSS, also later.
  // The body that follows is read by the type, which the record forgets.
  m_strBodyType = page->m_strContentType;
  if (!hv::IsStylesheetType(page->m_strContentType)) page->m_strContentType.clear();
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
    case 303:
    case 307:
    case 308:
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
      if (SaysGone(code)) {
        OnLoaded(0, CopyEnd::drop);
        return done;
      }
      // Proxy authentication (407) is not offered: like any other answer
      // it ends the load, so the page is not left marked as being loaded.
      page->m_tLinksUpdated = hv::run::Now();
      OnLoaded(0, CopyEnd::keep);
      return done;
  }
}

int CHTTPAnchor::OnRedirect() {
  CPageDescr* page = m_pPage;
  CCache* cache = hv::run::Cache();
  page->ClearLinks();
  // Only web addresses are followed; anything else (a file, a script, a
  // mail address) is no page of the web.
  std::string target;
  if (!page->m_strLocation.empty())
    ComposeUrl(target, page->m_strLocation.c_str(), page->m_strAddress.c_str(), URL_CANONICAL);
  if (!hv::http::HasWebPrefix(target)) {
    FailLoad(hv::http::kRedirectNowhere);
    return done;
  }
  // A cycle of redirections would go on for ever.
  if (++m_nRedirects > kMaxRedirects) {
    FailLoad(hv::http::kTooManyRedirects);
    return done;
  }
  if (m_pNode) m_pNode->Moved();
  // A search's answer is read into the search's own record, keyed by its
  // template alone, wherever it was sent: never into another page's.
  const bool searchAnswer = !SearchTemplate().empty();
  CPageDescr* existing = searchAnswer ? nullptr : cache->Find(target);
  if (existing && existing != page) {
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
  if (searchAnswer) {
    page->m_strAddress = target;
  } else if (!existing) {
    cache->RemoveKey(page->m_strAddress);
    page->m_strAddress = target;
    cache->AddKey(target, page);
  }
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
  if (!BeginBody()) {
    OnLoaded(0);
    return done;
  }
  m_bBodyTaken = true;
  m_nBodyBytes = 0;
  m_pBodyHasher = LoadDetail() != 0 ? std::make_unique<hv::cache::CBodyHasher>() : nullptr;
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
  if (page->m_strContentType.empty() && hv::IsStylesheetType(m_pEarlier->contentType))
    page->m_strContentType = m_pEarlier->contentType;
}

int CHTTPAnchor::OnData(const char* data, int length) {
  if (m_bBodyTaken && length > 0) {
    m_nBodyBytes += length;
    if (const std::string reason = BodyLimitPassed(); !reason.empty()) {
      EndOversized(reason);
      return cancel;
    }
    if (m_pBodyHasher) m_pBodyHasher->Update(data, static_cast<std::size_t>(length));
  }
  return ReceiveBody(data, length);
}

std::string CHTTPAnchor::BodyLimitPassed() {
  const std::uint64_t pageLimit = EngineApp::Instance().m_nMaxPageSize;
  if (static_cast<std::uint64_t>(m_nBodyBytes) > pageLimit * 1024)
    return "larger than the page size limit of " + std::to_string(pageLimit) + " KB";
  // Counted as it arrives: an endless body would never end to be counted.
  const CAgentAnchor* agent = CAgentManager::Instance().Agent();
  if (agent && agent->m_nSizeLimit > 0 &&
      agent->m_nByteCount + m_nBodyBytes >= static_cast<std::int64_t>(agent->m_nSizeLimit) * 1024) {
    CAgentManager::Instance().SizeLimitReached();
    hv::run::NotePageCutAtSizeLimit();
    return "the agent's size limit of " + std::to_string(agent->m_nSizeLimit) + " KB is reached";
  }
  return {};
}

void CHTTPAnchor::EndOversized(const std::string& reason) {
  // What was written of it goes: no half of a page too large is kept.
  DiscardBody();
  m_bBodyTaken = false;
  FailLoad(reason.c_str());
}

// ---- the end -----------------------------------------------------------------

std::unique_ptr<CAnchor> CHTTPAnchor::TakePreviousChild(const std::string& address) {
  const auto found = m_previousAt.find(address);
  if (found == m_previousAt.end()) return nullptr;
  std::unique_ptr<CAnchor> child = std::move(m_previousChildren[found->second.back()]);
  found->second.pop_back();
  if (found->second.empty()) m_previousAt.erase(found);
  return child;
}

void CHTTPAnchor::DeletePreviousChildren() {
  std::vector<std::unique_ptr<CAnchor>> previous = std::move(m_previousChildren);
  m_previousChildren.clear();
  m_previousAt.clear();
  // They left the tree when the load began, unnoticed by the agent file.
  if (std::any_of(previous.begin(), previous.end(), [](const auto& child) { return child != nullptr; }))
    MarkAgentModified();
  for (auto& child : previous)
    if (child) child.release()->DeleteTree();
}

void CHTTPAnchor::OnLoaded(int status) { OnLoaded(status, CopyEnd::asLoaded); }

void CHTTPAnchor::OnLoaded(int status, CopyEnd copyEnd) {
  std::lock_guard guard(CCache::Lock());
  CCache* cache = hv::run::Cache();
  DeletePreviousChildren();
  // Rejected (2) is the strategy's answer; any other status but 0 is a
  // transfer that failed or was stopped.
  if (m_strFailure.empty() && status != 0 && status != 2) m_strFailure = hv::http::TransferFailureText(status);
  bool failed = !m_strFailure.empty() || (status != 0 && status != 2);
  const BodyChange change = JudgeBody(status == 0 && !failed);
  const BodyEnd end = EndBody(status == 0 && !failed);
  if (end.diskFull) hv::run::Stop();
  if (m_strFailure.empty() && (end.diskFull || end.writeFailed))
    m_strFailure = end.diskFull ? hv::http::kDiskFull : hv::http::kCopyNotWritten;
  failed = failed || !m_strFailure.empty();
  CPageDescr* page = m_pPage;
  bool copyStands = false;  // the body read is the page's copy now
  if (page && cache && page->m_pRetriever == this) {
    if (status != 0 || failed)
      CAuthen::Instance().CheckResponse(0, page->m_strAddress, page->m_strRealm, this, hv::run::Now());
    if (failed && end.partialCopy) {
      // Half a page, where there was none before, is kept as cut short.
      if (!page->EndRetrieval(*cache, this, LoadDetail(), false, true, hv::run::RunStart())) hv::run::Stop();
    } else if (failed || copyEnd == CopyEnd::keep) {
      EndFailedLoad(*page, *cache);
    } else {
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
      if (copyEnd == CopyEnd::drop) page->DropFile(*cache, nullptr);
      if (status == 0 && copyEnd != CopyEnd::drop && !m_bBodyTaken) KeepEarlierAnswer();
      copyStands = completed && m_bBodyTaken && copyEnd != CopyEnd::drop && LoadDetail() != 0;
    }
    if (!m_strFailure.empty()) {
      page->m_strStatusLine.clear();
      page->m_nStatusCode = 0;
      page->m_strStatusText = m_strFailure;
    }
    if (m_bUserItem && (failed || page->m_nStatusCode >= 400)) hv::run::NoteIncomplete();
  }
  SettleBodyChange(change, copyStands);
  m_pBodyHasher.reset();
  m_pEarlier.reset();
  m_pKeptCopy.reset();
  m_strFailure.clear();
  std::string().swap(m_strLoadAddress);
  CAnchor::OnLoaded(status);
  AfterLoaded(status);
  // A page refused by the strategy goes; a location the user added stays.
  if (status == 2 && !m_bUserItem) DeleteTree();
}

void CHTTPAnchor::EndFailedLoad(CPageDescr& page, CCache& cache) {
  // A redirection that led nowhere leaves the page under its own address,
  // unless another record has taken that address meanwhile.
  if (!m_strLoadAddress.empty() && page.m_strAddress != m_strLoadAddress && !cache.Find(m_strLoadAddress)) {
    cache.RemoveKey(page.m_strAddress);
    page.m_strAddress = m_strLoadAddress;
    cache.AddKey(m_strLoadAddress, &page);
    if (m_pNode) m_pNode->Moved();
  }
  // What the record said of the page stays: a failure says nothing of it,
  // nor whether it was modified.
  page.m_bFlag = 0;
  if (m_pEarlier) {
    page.m_tLastModified = m_pEarlier->lastModified;
    page.m_strLastModifiedText = m_pEarlier->lastModifiedText;
    page.m_strTitle = m_pEarlier->title;
    if (hv::IsStylesheetType(m_pEarlier->contentType)) page.m_strContentType = m_pEarlier->contentType;
  }
  int keptState = CPageDescr::kNotStored;
  if (m_pKeptCopy) {
    m_pKeptCopy->RestoreTo(page);
    keptState = m_nPreviousState;
  }
  page.EndFailedRetrieval(cache, this, keptState, hv::run::RunStart());
}
