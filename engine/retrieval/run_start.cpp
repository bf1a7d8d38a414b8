// Starting a run on an agent, a folder or a page: the server first, then
// the anchor becomes the running anchor and everything below it is queued.
#include <mutex>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/category_anchor.h"
#include "engine/agent/http_anchor.h"
#include "engine/cache/cache.h"
#include "engine/retrieval/retrieval_run.h"
#include "platform/files/file_system.h"

namespace {

// Queues the anchor as the run's start, holding the cache lock so that no
// answer reaches the tree before all of it is queued.
template <class QueueIt>
int StartRunAt(CAnchor* anchor, bool notifyStart, QueueIt queueIt) {
  if (!hv::run::StartServer()) return 0;
  {
    std::lock_guard guard(CCache::Lock());
    if (notifyStart && anchor->m_pNode) {
      anchor->m_pNode->Queued();
      anchor->m_pNode->Started();
    }
    CAgentManager::Instance().SetRunning(anchor);
    queueIt();
  }
  hv::run::FinishWhenIdle();
  return 1;
}

// Every child, then the anchor's own (empty) part is done.
void QueueChildren(CAnchor* anchor) {
  for (int i = 0; i < anchor->GetChildCount(); ++i) anchor->GetChild(i)->Queue();
  anchor->CAnchor::OnLoaded(0);
}

}  // namespace

int CHTTPAnchor::Run() {
  return StartRunAt(this, false, [this] { Queue(); });
}

int CAgentAnchor::Run() {
  CCache* cache = CAgentManager::Instance().Cache();
  if (!cache || !hv::fs::EnsureDirectory(cache->Directory())) return 0;
  return StartRunAt(this, true, [this] {
    CAnchor::Queue();
    QueueChildren(this);
  });
}

int CCategoryAnchor::Run() {
  return StartRunAt(this, true, [this] { Queue(); });
}

void CCategoryAnchor::Queue() {
  CAnchor::Queue();
  QueueChildren(this);
}
