#include "engine/http/async_server.h"

#include <system_error>
#include <utility>

#include "engine/http/async_client.h"
#include "engine/http/async_thunk.h"
#include "engine/http/end_load_thread.h"
#include "engine/http/server_param.h"
#include "engine/http/worker_thread.h"
#include "harvion/saf_client.h"
#include "platform/threads/event.h"
#include "platform/threads/semaphore.h"

IMPLEMENT_DYNAMIC(CAsyncServer, CObject)

void CAsyncServer::RunThreads::Join() {
  for (auto& worker : workers) worker->Join();
  for (auto& thread : abortThreads) {
    if (thread.joinable()) thread.join();
  }
  if (endLoad) endLoad->Join();
}

CAsyncServer::CAsyncServer() = default;

CAsyncServer::~CAsyncServer() { Shutdown(); }

void CAsyncServer::Shutdown() {
  if (GetState() == Running) Finish();
  if (GetState() == Finishing) Stop(0);
  RunThreads ended;
  {
    std::unique_lock lock(m_lock);
    if (OnOwnThread()) return;  // a run cannot wait for its own threads
    m_stateChanged.wait(lock, [this] { return m_state == Stopped; });
    ended = std::exchange(m_threads, RunThreads{});
  }
  ended.Join();
}

CAsyncServer::State CAsyncServer::GetState() {
  std::lock_guard lock(m_lock);
  return m_state;
}

bool CAsyncServer::Start(int workerCount) {
  std::unique_lock lock(m_lock);
  for (;;) {
    if (m_state == Running || m_state == Finishing) return false;
    // A thread of the last run would wait for itself.
    if (OnOwnThread()) return false;
    if (m_state == Stopping) {
      m_stateChanged.wait(lock, [this] { return m_state != Stopping; });
      continue;
    }
    if (m_threads.Empty()) break;
    // The thread that ended the last run may still be reporting it; its
    // report comes before ours.
    RunThreads ended = std::exchange(m_threads, RunThreads{});
    lock.unlock();
    ended.Join();
    ended = RunThreads{};
    lock.lock();
  }
  if (workerCount < 1 || workerCount > maxWorkers) return false;

  m_nWorkerCount = workerCount;
  m_thunks.clear();
  for (int index = 0; index < workerCount; ++index) m_thunks.push_back(std::make_unique<CAsyncThunk>());
  m_idle.assign(static_cast<std::size_t>(workerCount), 0);
  m_state = Running;
  m_nActiveCount = m_nExitedCount = 0;
  m_nAborted = 0;
  m_bEndLoadByWorker = false;
  m_allExitedEvent = std::make_unique<CEvent>(true, false);
  m_threads.workers.reserve(static_cast<std::size_t>(workerCount));
  for (int index = 0; index < workerCount; ++index) {
    std::unique_ptr<CWorkerThread> worker = CreateWorker(index);
    if (!worker || !worker->CreateThread()) {
      EndFailedStart(lock);
      return false;
    }
    m_threads.workers.push_back(std::move(worker));
  }
  // Workers that could never be used end now, so the next Start finds the
  // server stopped instead of running without a run; and a run that never
  // started is not reported, since no end would ever follow its start.
  if (!OnStart()) {
    EndFailedStart(lock);
    return false;
  }
  lock.unlock();
  ReportProgress(0);
  return true;
}

// Called with the lock held; returns with it held and the server stopped.
void CAsyncServer::EndFailedStart(std::unique_lock<std::recursive_mutex>& lock) {
  m_nWorkerCount = static_cast<int>(m_threads.workers.size());
  m_state = Stopping;
  WakeAllLocked();
  RunThreads started = std::exchange(m_threads, RunThreads{});
  lock.unlock();
  started.Join();
  started = RunThreads{};
  lock.lock();
  m_thunks.clear();
  m_idle.clear();
  m_allExitedEvent.reset();
  m_state = Stopped;
  m_stateChanged.notify_all();
}

void CAsyncServer::Submit(CAsyncClient* client) {
  if (!client) return;
  {
    std::lock_guard lock(m_lock);
    if (m_state == Stopped) return;
  }
  // Told before any worker can see the job: a job that completes at once
  // may delete itself, and must not hear of its queueing after that.
  client->OnQueued();
  {
    std::lock_guard lock(m_lock);
    if (m_state == Running || m_state == Finishing) {
      m_queue.push_back(client);
      for (std::size_t index = 0; index < m_idle.size() && index < m_threads.workers.size(); ++index) {
        if (!m_idle[index]) continue;
        m_idle[index] = 0;
        m_threads.workers[index]->PostThreadMessage(WM_HV_WORKER_WAKE, 0, 0);
        break;
      }
      return;
    }
  }
  client->OnComplete(statusRejected);
}

void CAsyncServer::Finish() {
  std::lock_guard lock(m_lock);
  if (m_state != Running) return;
  m_state = Finishing;
  WakeAllLocked();
}

void CAsyncServer::Stop(int aborted) {
  std::vector<int> abortHere;
  {
    std::lock_guard lock(m_lock);
    m_nAborted = aborted;
    if (m_state != Finishing) return;
    m_state = Stopping;
    WakeAllLocked();
    m_abortSemaphore = std::make_unique<CSemaphore>(0, m_nWorkerCount);
    for (int index = 0; index < m_nWorkerCount; ++index) {
      try {
        m_threads.abortThreads.emplace_back([param = std::make_unique<CServerParam>(this, index)] {
          param->m_pServer->AbortJob(param->m_nIndex);
        });
      } catch (const std::system_error&) {
        abortHere.push_back(index);
      }
    }
  }
  // Not under the server lock: cutting a job off waits for its thunk.
  for (int index : abortHere) AbortJob(index);
  // The stop is reported before the end-load thread exists, so its final
  // report always comes last.
  ReportProgress(1);
  bool endLoadHere = false;
  {
    std::lock_guard lock(m_lock);
    auto endLoad = std::make_unique<CEndLoadThread>(this);
    if (endLoad->CreateThread()) {
      m_threads.endLoad = std::move(endLoad);
    } else if (m_nExitedCount == m_nWorkerCount) {
      endLoadHere = true;  // no worker is left to do it
    } else {
      m_bEndLoadByWorker = true;  // the last worker to exit does it
    }
  }
  if (endLoadHere) EndLoad();
}

void CAsyncServer::AbortJob(int index) {
  CAsyncThunk* thunk = nullptr;
  CSemaphore* aborts = nullptr;
  {
    std::lock_guard lock(m_lock);
    thunk = Thunk(index);
    aborts = m_abortSemaphore.get();
  }
  if (thunk) thunk->Complete(statusCutOff);
  // Only now: a transfer woken before its client was taken away could
  // still complete it as if it had ended by itself.
  OnJobCutOff(index);
  if (aborts) aborts->Release();
}

CAsyncThunk* CAsyncServer::Thunk(int index) {
  std::lock_guard lock(m_lock);
  if (index < 0 || static_cast<std::size_t>(index) >= m_thunks.size()) return nullptr;
  return m_thunks[static_cast<std::size_t>(index)].get();
}

CAsyncServer::NextJob CAsyncServer::GetNextJob(CAsyncClient*& client, int workerIndex) {
  std::lock_guard lock(m_lock);
  const bool known = workerIndex >= 0 && static_cast<std::size_t>(workerIndex) < m_idle.size();
  if (known) m_idle[static_cast<std::size_t>(workerIndex)] = 0;
  if (m_state == Stopping) return jobQuit;
  if (!m_queue.empty()) {
    client = m_queue.front();
    m_queue.pop_front();
    ++m_nActiveCount;
    return jobTaken;
  }
  if (m_nActiveCount <= 0 && m_state != Running && !HasPendingWork()) return jobQuit;
  if (known) m_idle[static_cast<std::size_t>(workerIndex)] = 1;
  return jobNone;
}

void CAsyncServer::JobFinished() {
  std::lock_guard lock(m_lock);
  --m_nActiveCount;
  // The last job of a finishing run: idle workers must see that they can go.
  if (m_nActiveCount <= 0 && m_state != Running) WakeAllLocked();
}

void CAsyncServer::WorkerExited() {
  bool cleanUp = false;
  bool endLoad = false;
  {
    std::lock_guard lock(m_lock);
    if (++m_nExitedCount != m_nWorkerCount) return;
    if (m_allExitedEvent) m_allExitedEvent->SetEvent();
    if (m_state == Finishing) {
      // The run ends on this thread. Stopping from here on keeps a stop from
      // starting abort threads on thunks about to go, and turns late jobs
      // away instead of leaving them in a queue no worker reads.
      m_state = Stopping;
      cleanUp = true;
    } else if (m_state == Stopping && m_bEndLoadByWorker) {
      m_bEndLoadByWorker = false;
      endLoad = true;
    }
  }
  if (cleanUp) FinalCleanup();
  if (endLoad) EndLoad();
}

CAsyncClient* CAsyncServer::TakeQueuedJob() {
  std::lock_guard lock(m_lock);
  if (m_queue.empty()) return nullptr;
  CAsyncClient* client = m_queue.front();
  m_queue.pop_front();
  return client;
}

void CAsyncServer::EndLoad() {
  CEvent* allExited = nullptr;
  CSemaphore* aborts = nullptr;
  int abortThreads = 0;
  {
    std::lock_guard lock(m_lock);
    allExited = m_allExitedEvent.get();
    aborts = m_abortSemaphore.get();
    abortThreads = m_nWorkerCount;
  }
  if (allExited) allExited->Wait();
  if (aborts) {
    for (int i = 0; i < abortThreads; ++i) aborts->Wait();
  }
  FinalCleanup();
}

void CAsyncServer::FinalCleanup() {
  std::deque<CAsyncClient*> left;
  {
    std::lock_guard lock(m_lock);
    if (m_state == Stopped) return;
    left.swap(m_queue);
  }
  // Jobs queued after the workers had decided to quit never ran.
  for (CAsyncClient* client : left) client->OnComplete(statusDropped);
  {
    std::lock_guard lock(m_lock);
    m_thunks.clear();
    m_idle.clear();
    m_allExitedEvent.reset();
    m_abortSemaphore.reset();
  }
  OnStopped();
  int progress = 2;
  {
    std::lock_guard lock(m_lock);
    m_state = Stopped;
    if (m_nAborted) progress = 3;
    m_stateChanged.notify_all();
  }
  ReportProgress(progress);
}

void CAsyncServer::WakeIdleWorkers() {
  std::lock_guard lock(m_lock);
  WakeAllLocked();
}

void CAsyncServer::WakeAllLocked() {
  for (std::size_t index = 0; index < m_idle.size() && index < m_threads.workers.size(); ++index) {
    if (!m_idle[index]) continue;
    m_idle[index] = 0;
    m_threads.workers[index]->PostThreadMessage(WM_HV_WORKER_WAKE, 0, 0);
  }
}

bool CAsyncServer::OnOwnThread() {
  for (const auto& worker : m_threads.workers) {
    if (worker->IsCurrentThread()) return true;
  }
  for (const auto& thread : m_threads.abortThreads) {
    if (thread.get_id() == std::this_thread::get_id()) return true;
  }
  return m_threads.endLoad && m_threads.endLoad->IsCurrentThread();
}

std::unique_ptr<CWorkerThread> CAsyncServer::CreateWorker(int index) {
  return std::make_unique<CWorkerThread>(this, index);
}

void CAsyncServer::ReportProgress(int progress) {
  // The interface knows the HTTP server's type only; a server of another
  // type has no one to tell.
  if (m_nServerType != CUIClient::stHttp) return;
  try {
    CSafClient::GetSafClient()->ServerProgress(CUIClient::stHttp, static_cast<CUIClient::serverProgress>(progress));
  } catch (...) {
    // A user interface that throws must not take a worker down with it.
  }
}
