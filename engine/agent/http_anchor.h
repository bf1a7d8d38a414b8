// A web location or a page or object found below one. Its data lives in the
// page's record of the cache index; the anchor only points at it. In a run
// it decides whether its page is loaded, asks for it and takes the answer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/agent/anchor.h"
#include "engine/agent/page_node.h"
#include "engine/cache/body_digest.h"
#include "engine/cache/kept_copy.h"
#include "engine/cache/link_owner.h"
#include "engine/cache/page_child.h"
#include "engine/http/credentials_asker.h"
#include "engine/http/http_request_owner.h"
#include "engine/retrieval/link_test.h"

class CCache;
class CHTTPAsyncClient;
class CPageDescr;

class CHTTPAnchor : public CAnchor,
                    public CHTTPRequestOwner,
                    public CLinkOwner,
                    public CCredentialsAsker::Waiter {
  DECLARE_SERIAL(CHTTPAnchor)
 public:
  CHTTPAnchor();
  ~CHTTPAnchor() override;

  void Serialize(CArchive& ar) override;
  void ExcludeFromLocation() override;
  std::string GetDisplayName() override;
  int CopyDisplayName(char* buffer, int size) override;
  CSafNode* CreateNode() override;
  int GetKind() override;
  void MarkCacheUse() override;
  std::string GetPageUrl() override;
  void SetUrl(const std::string& text) override;
  int Run() override;
  void Queue() override;
  void OnLoaded(int status) override;
  void FillResult(_httpRetrieveResult& result) override;

  // The page's record when it is (still) in the open agent's cache index.
  CPageDescr* IndexedPage() const;
  // The URL template a search folder keeps for this location; empty for a
  // location that is no search engine's.
  std::string SearchTemplate() const;

  // Retrieval (the cache lock held throughout).
  // The run's decision for a queued anchor: the granted depth, -1 for none.
  int RetrievalDecision();
  // Readies the page for its load with the granted depth: the children
  // become previous children, the stored file is made or dropped.
  void PrepareForRetrieval(int depth, CPageDescr* referrer);
  // Asks the server for the page, after startDelayMs; an answer may come at once.
  void SubmitRequest(int startDelayMs = 0);
  // Whether the page record still needs loading in this run for the load
  // detail; loaderRule: yes when this anchor is loading it already.
  bool NeedsLoadingInRun(int loadDetail, bool loaderRule);
  // The load detail of the run's settings for this anchor.
  int LoadDetail();

  // The links of the page or stylesheet being read: which become children.
  CPageDescr* OwnerPage() override { return m_pPage; }
  CAnchor* AddLink(const std::string& address, int linkType, bool defer, CPageChild* existing,
                   CPageChild** record, CPageDescr** target) override;
  void CompleteLink(CAnchor* child) override;
  void ReleaseLink(CAnchor* child) override;
  void SetTitle(const std::string& title) override { (void)title; }
  bool KeepsRefusedLink(const CPageChild& link) override;

  // What the transfer asks of its owner.
  CPageDescr* RequestPage() override { return m_pPage; }
  void GetAcceptTypes(std::string& types) override;
  std::uint32_t GetIfModifiedSince() override;
  int GetAuthorization(std::string& credentials) override;
  int OnHeaders() override;
  int OnData(const char* data, int length) override;
  void OnRequestQueued() override;
  void OnRequestStarted() override;
  void OnRequestFinished(int status) override;
  void OnRequestFailureDetail(const std::string& detail) override { m_strFailureDetail = detail; }
  void OnRequestFreed(CHTTPAsyncClient* request) override;
  // The user answered the question of the page's realm: load again with the
  // answer, or end the load with the 401 that stands.
  void OnCredentialsAnswered(CCredentialsAsker::Answer answer, CRealm& realm) override;

  CPageNode m_node;  // the node of a page lives inside its anchor
  // Every request this anchor submitted that has not yet told it it was
  // freed: an older one may still be ending (draining its connection) when
  // a new one is on its way, and each must be detached when the anchor goes.
  // Not owned; read and changed under the cache lock.
  std::vector<CHTTPAsyncClient*> m_liveRequests;
  // The page's state before its load; stored only while its file was there.
  std::int32_t m_nPreviousState = 0;
  // What the record said of the page before its load cleared the answer: the
  // server's date is what it is asked with, and it stays, with the title,
  // when no new body replaces the copy. Kept during a load only.
  struct EarlierAnswer {
    std::uint32_t lastModified = 0;
    std::string lastModifiedText;
    std::string title;
    std::string contentType;  // set only for a file refused by its type
  };
  std::unique_ptr<EarlierAnswer> m_pEarlier;
  bool m_bBodyTaken = false;  // this load accepted a body
  std::int64_t m_nBodyBytes = 0;  // of it, so far
  std::string m_strBodyType;      // the content type of the answer whose body it is
  // The children of the last load until this one has read the page; one
  // taken back leaves its slot empty. Found by address, so a page of many
  // links costs no search of them all per link.
  std::vector<std::unique_ptr<CAnchor>> m_previousChildren;
  std::unordered_map<std::string, std::vector<std::size_t>> m_previousAt;  // slots, the first last
  std::unique_ptr<CAnchor> TakePreviousChild(const std::string& address);
  CPageDescr* m_pPage = nullptr;  // not owned: the cache index owns records
  // How the page that found it links to it (CPageChild::LinkKind): which
  // content types its file type takes. A location the user added is a page.
  std::int32_t m_nLinkKind = CPageChild::kPage;
  bool m_bAnswered = false;  // the request in flight got a header block
  // A load follows this many redirections at most.
  static constexpr int kMaxRedirects = 20;
  std::string m_strChallengedUrl;  // the address whose last 401 named the page's realm
  bool m_bAwaitingCredentials = false;  // the user is asked for the page's realm

 protected:
  // How the body's copy came out, once the load is over.
  struct BodyEnd {
    bool copyComplete = true;  // nothing is missing from it (true without a body)
    bool partialCopy = false;  // a transfer that ended early left a copy worth keeping
    bool diskFull = false;
    bool writeFailed = false;  // the copy could not be made or written
  };
  // How the end of a load treats the page's stored copy.
  enum class CopyEnd {
    asLoaded,  // the new body becomes the copy (a failed load keeps the old one)
    drop,      // the server says the page is gone
    keep,      // an answer that is no copy of the page: the old copy stays
  };

  void SerializePage(CArchive& ar);
  // A body accepted by OnHeaders begins; false refuses it (the load then
  // ends as it is).
  virtual bool BeginBody() { return true; }
  // A block of the accepted body; the answer is the transfer's (0 reads on).
  // A plain location takes no body.
  virtual int ReceiveBody(const char* data, int length) {
    (void)data, (void)length;
    return -1;
  }
  // The load is over; transferCompleted tells whether all of it arrived.
  // Called once per load, with or without a body. A body that did not all
  // arrive never replaces a stored copy (m_pKeptCopy set).
  virtual BodyEnd EndBody(bool transferCompleted) {
    (void)transferCompleted;
    return {};
  }
  // The body being read is too large: what was written of it goes, and
  // EndBody finds no body.
  virtual void DiscardBody() {}
  // After the page record and the node have heard of the end.
  virtual void AfterLoaded(int status) { (void)status; }
  // The children the stored links name come back.
  virtual void RebuildChildren() {}
  // The body read is the one the stored copy was made from: EndBody leaves
  // the copy as it is when the new one comes out the same.
  virtual void KeepStoredCopyIfSame() {}
  // Ends the page's load from its stored copy: the children come back from
  // the stored links. Without a stored copy to end from, the body is taken
  // when one follows; otherwise the page keeps no copy.
  int FinishFromStoredCopy(bool bodyFollows);
  // Tells every transfer still running for this anchor that it is going.
  void DetachRequests();
  // The load ends without an answer that stands: the page keeps its copy
  // and its record gives the reason.
  void FailLoad(const char* reason);

  // While a load runs over a stored copy: the links that describe it.
  std::unique_ptr<CKeptCopy> m_pKeptCopy;
  // Digests the body being read, when a copy is made of it.
  std::unique_ptr<hv::cache::CBodyHasher> m_pBodyHasher;

 private:
  // Puts a prepared child into the tree and asks for its page; a child too
  // deep for the tree is given up instead.
  void InsertAndSubmit(std::unique_ptr<CHTTPAnchor> child);
  // A prepared child that will not be loaded after all.
  void GiveUp(CHTTPAnchor* child);
  // What the link test is asked for a link of this page (the cache lock held).
  hv::LinkQuery QueryFor(const std::string& url, int linkType);
  void OnLoaded(int status, CopyEnd copyEnd);
  // The record of a failed load: the copy it had, under the address it had.
  void EndFailedLoad(CPageDescr& page, CCache& cache);
  int OnStatusCode();
  // Begins the accepted body (BeginBody), noting that one was taken; when
  // no copy can be made of it, the load ends (EndBody says why).
  int TakeBody();
  // The load detail refuses the page's earlier, refused type again: its
  // file was never kept, and it is asked for only if it changed.
  bool RefusedBefore();
  // After a load that took no body: what the answer did not say of the copy
  // is what was known before.
  void KeepEarlierAnswer();
  // Why the body read so far may not grow: larger than one page may be, or
  // filling the agent to its size limit; empty while it may.
  std::string BodyLimitPassed();
  // Ends the load of a body that grew too large: it fails with the reason,
  // and an earlier copy stays as it was.
  void EndOversized(const std::string& reason);
  int OnRedirect();
  void DeletePreviousChildren();
  // What a body read whole says of the page's stored copy.
  struct BodyChange {
    std::optional<hv::cache::BodyDigest> digest;  // of the body read
    bool same = false;   // the body the stored copy was made from
    std::string staged;  // the copy before, set aside as the previous copy
  };
  // Before EndBody: digests the body and compares it with the one the
  // stored copy was made from. A body the same keeps the copy
  // (KeepStoredCopyIfSame); a modified page's copy is set aside.
  BodyChange JudgeBody(bool transferCompleted);
  // After the record heard of the end; copyStands: the body's copy is the
  // page's stored copy now. The previous copy is kept or dropped, the
  // record takes the digest, and a body the same clears the mark.
  void SettleBodyChange(const BodyChange& change, bool copyStands);
  // An item read from the agent file knows its link kind only from the
  // links of the page above it (the cache lock held).
  void RecallLinkKind();

  std::string m_strLoadAddress;  // the page's address when its load began
  std::string m_strFailure;      // why the load failed, for its end
  std::string m_strFailureDetail;  // the transfer's own words for its failure, until it ends
  int m_nRedirects = 0;          // followed in this load
};
