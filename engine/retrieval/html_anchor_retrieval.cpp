// An HTML page in a run: its body goes through the link parser, which
// writes the stored copy and hands over the links; each link the strategy
// and the levels allow becomes a child location that is loaded in turn.
// A stylesheet's links become children the same way. A body that is no
// page or stylesheet is stored as it came.
#include <mutex>

#include "engine/agent/agent_manager.h"
#include "engine/agent/embedded_anchor.h"
#include "engine/agent/html_anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/page_child.h"
#include "engine/cache/page_descr.h"
#include "engine/html/body_kind.h"
#include "engine/html/copy_writer.h"
#include "engine/html/css_rewriter.h"
#include "engine/html/map_parser.h"
#include "engine/http/url.h"
#include "engine/retrieval/link_test.h"
#include "engine/retrieval/retrieval_run.h"
#include "engine/retrieval/run_limits.h"
#include "harvion/ui_node.h"

bool CHTMLAnchor::BeginBody() {
  CCache* cache = hv::run::Cache();
  if (!cache) return false;
  DiscardBody();
  // A site map reads links and writes nothing: a file without links is not read.
  const bool siteMapOnly = LoadDetail() == 0;
  m_pPage->m_bPlaceholderUsed = 0;
  switch (hv::html::BodyKindOf(m_strBodyType)) {
    case hv::html::BodyKind::stylesheet:
      m_pStylesheet = std::make_unique<CCssRewriter>(*cache, m_pPage, this);
      if (!siteMapOnly) m_pStylesheet->OpenFiles();
      break;
    case hv::html::BodyKind::plain:
      m_pPlain = std::make_unique<CCopyWriter>(*cache, m_pPage);
      if (!siteMapOnly) m_pPlain->Open();
      break;
    case hv::html::BodyKind::markup:
      m_pParser = std::make_unique<CMapParser>(*cache, this, siteMapOnly);
      break;
  }
  return true;
}

int CHTMLAnchor::ReceiveBody(const char* data, int length) {
  const auto size = static_cast<std::size_t>(length);
  bool diskFull = false;
  if (m_pParser) {
    m_pParser->Parse(data, size);
    diskFull = m_pParser->DiskFull();
  } else if (m_pStylesheet) {
    m_pStylesheet->Parse(data, size);
    diskFull = m_pStylesheet->DiskFull();
  } else if (m_pPlain) {
    m_pPlain->BeginFeed(data, size);
    m_pPlain->EndFeed(CCopyWriter::kNothingOpen);
    diskFull = m_pPlain->DiskFull();
  } else {
    return -1;
  }
  if (diskFull) hv::run::Stop();
  return 0;
}

CHTTPAnchor::BodyEnd CHTMLAnchor::EndWholeCopy(bool transferCompleted, bool written, bool diskFull) {
  BodyEnd end;
  end.diskFull = diskFull;
  const bool readOnly = LoadDetail() == 0;
  end.copyComplete = transferCompleted && (written || m_nBodyBytes == 0 || readOnly) && !diskFull;
  end.writeFailed = transferCompleted && !end.copyComplete && !diskFull;
  return end;
}

CHTTPAnchor::BodyEnd CHTMLAnchor::EndBody(bool transferCompleted) {
  BodyEnd end;
  // Part of a stylesheet or of a file is no use: its new copy goes unfinished.
  if (m_pStylesheet) {
    const std::unique_ptr<CCssRewriter> sheet = std::move(m_pStylesheet);
    const bool written = transferCompleted && sheet->Finish() == 1;
    return EndWholeCopy(transferCompleted, written, sheet->DiskFull());
  }
  if (m_pPlain) {
    const std::unique_ptr<CCopyWriter> plain = std::move(m_pPlain);
    const bool written = transferCompleted && plain->Finish();
    return EndWholeCopy(transferCompleted, written, plain->DiskFull());
  }
  if (!m_pParser) return end;
  const bool received = m_pParser->Received() > 0;
  if (!transferCompleted && m_pKeptCopy) {
    // Part of a page never replaces the whole one stored before: the parser
    // goes unfinished, and its new copy with it.
    end.copyComplete = false;
    end.diskFull = m_pParser->DiskFull();
    m_pParser.reset();
    return end;
  }
  const bool written = m_pParser->Finish() == 1;
  end.diskFull = m_pParser->DiskFull();
  // A site map writes no copy; otherwise an empty page writes nothing either.
  const bool readOnly = m_pParser->Failed() != 0 && LoadDetail() == 0;
  end.copyComplete = transferCompleted && (written || !received || readOnly) && !end.diskFull;
  end.partialCopy = !transferCompleted && received && written;
  end.writeFailed = transferCompleted && !end.copyComplete && !end.diskFull;
  m_pParser.reset();
  return end;
}

void CHTMLAnchor::DiscardBody() {
  m_pParser.reset();
  m_pStylesheet.reset();
  m_pPlain.reset();
}

void CHTMLAnchor::KeepStoredCopyIfSame() {
  if (m_pParser) m_pParser->KeepFileIfSame();
  if (m_pStylesheet) m_pStylesheet->KeepFileIfSame();
  if (m_pPlain) m_pPlain->KeepFileIfSame();
}

void CHTMLAnchor::RebuildChildren() {
  if (m_pPage) m_pPage->RebuildLinks(*this);
}

void CHTMLAnchor::SetTitle(const std::string& title) { SetName(title, 1); }

CAnchor* CHTTPAnchor::AddLink(const std::string& address, int linkType, bool defer, CPageChild* existing,
                              CPageChild** record, CPageDescr** recorded) {
  if (recorded) *recorded = nullptr;
  CCache* cache = hv::run::Cache();
  if (!cache || !m_pPage) return nullptr;
  std::lock_guard guard(CCache::Lock());
  std::string url;
  ComposeUrl(url, address.c_str(), nullptr, URL_CANONICAL);

  // A child of the last load with this address comes back with its node.
  std::unique_ptr<CAnchor> reused = TakePreviousChild(url);
  // A child of another class than the kind needs (a page linked as a
  // stylesheet now) is made anew.
  if (reused && (dynamic_cast<CEmbeddedAnchor*>(reused.get()) != nullptr) != hv::IsRequisite(linkType))
    reused.release()->DeleteTree();
  auto refuse = [&reused]() -> CAnchor* {
    if (reused) reused.release()->DeleteTree();
    return nullptr;
  };
  if (!m_pNode) return refuse();

  const hv::LoadSettings s = EffectiveSettings();
  if (!hv::LoadDetailKeeps(s.loadDetail, linkType)) return refuse();
  const hv::LinkQuery query = QueryFor(url, linkType);
  const int depth = query.levels < 0 ? -1 : hv::LinkTest(query);
  if (depth < 0) {
    // A link the levels alone refuse is among the page's links all the
    // same: a run granting more levels follows it from the stored links.
    if (!existing && hv::LevelsAloneRefuse(query)) {
      if (CPageDescr* target = m_pPage->AddLink(*cache, url, linkType, nullptr, record)) {
        CCache::Lock().unlock();
        if (recorded) *recorded = target;
      }
    }
    return refuse();
  }

  CPageDescr* target = m_pPage->AddLink(*cache, url, linkType, existing, record);
  if (!target) {
    if (cache->RefusedAtKeyLimit(url)) hv::run::NoteKeyLimit(url);
    return refuse();
  }
  std::unique_lock held(CCache::Lock(), std::adopt_lock);  // the level AddLink handed over
  if (recorded) *recorded = target;

  std::unique_ptr<CHTTPAnchor> child;
  if (reused) {
    child.reset(static_cast<CHTTPAnchor*>(reused.release()));
  } else if (hv::IsRequisite(linkType)) {
    child = std::make_unique<CEmbeddedAnchor>();
  } else {
    child = std::make_unique<CHTMLAnchor>();
  }
  child->m_pPage = target;
  child->m_nLinkKind = linkType;
  // Settings are inherited through the parent, before the child is in the tree.
  child->m_pParent = this;
  if (!child->NeedsLoadingInRun(s.loadDetail, false)) {
    child->m_pParent = nullptr;
    if (reused) child.release()->DeleteTree();
    return nullptr;
  }
  if (linkType == CPageChild::kFrame) child->m_bNoLevelCost = 1;
  child->CAnchor::Queue();
  child->PrepareForRetrieval(depth, m_pPage);
  CHTTPAnchor* made = child.get();
  if (defer) {
    child.release();  // the parser completes or releases it
    return made;
  }
  InsertAndSubmit(std::move(child));
  return made;
}

hv::LinkQuery CHTTPAnchor::QueryFor(const std::string& url, int linkType) {
  const hv::LoadSettings s = EffectiveSettings();
  hv::LinkQuery query;
  query.levels = hv::RetrievalLevels(this) - (linkType == CPageChild::kPage ? 1 : 0);
  query.linkType = s.linkType;
  query.asking = this;
  query.url = url;
  query.fileTypeIndex = s.fileTypeIndex;
  query.locationIndex = s.locationIndex;
  query.anyServer = s.requisites == CUINode::rqAnyServer && hv::IsRequisite(linkType);
  return query;
}

bool CHTTPAnchor::KeepsRefusedLink(const CPageChild& link) {
  std::lock_guard guard(CCache::Lock());
  return hv::LevelsAloneRefuse(QueryFor(link.m_strAddress, link.m_nLinkType));
}

void CHTTPAnchor::InsertAndSubmit(std::unique_ptr<CHTTPAnchor> child) {
  CHTTPAnchor* anchor = child.get();
  if (!HasRoomFor(*anchor)) {
    hv::run::NoteDepthLimit();
    GiveUp(child.release());
    return;
  }
  InsertChild(std::move(child), 0);
  anchor->SubmitRequest();
}

void CHTTPAnchor::CompleteLink(CAnchor* child) {
  std::lock_guard guard(CCache::Lock());
  if (!child || IndexOfChild(child) >= 0) return;
  InsertAndSubmit(std::unique_ptr<CHTTPAnchor>(static_cast<CHTTPAnchor*>(child)));
}

void CHTTPAnchor::ReleaseLink(CAnchor* child) {
  std::lock_guard guard(CCache::Lock());
  if (!child || IndexOfChild(child) >= 0) return;
  GiveUp(static_cast<CHTTPAnchor*>(child));
}

void CHTTPAnchor::GiveUp(CHTTPAnchor* child) {
  CCache* cache = hv::run::Cache();
  CPageDescr* page = child->m_pPage;
  if (cache && page && page->m_pRetriever == child) {
    if (child->m_nPreviousState == CPageDescr::kStored || child->m_nPreviousState == CPageDescr::kInterrupted) {
      // Its copy from an earlier load stays as it was.
      page->m_nState = child->m_nPreviousState;
      page->m_pRetriever = nullptr;
      page->m_tRetrievalStart = 0;
    } else {
      page->EndRetrieval(*cache, child, child->LoadDetail(), false, false, hv::run::RunStart());
    }
  }
  child->m_pParent = nullptr;
  child->DeleteTree();
}
