// The job server: a fixed number of worker threads for one run, a first-in
// first-out queue of jobs, and a stop that cuts off running jobs from
// outside. It reports the start and end of each run to the engine interface.
//
// Locks: the server lock guards everything below; it is never held while a
// client is called nor while a thunk lock is taken. A client called under
// its thunk lock may take the server lock (submit a job, stop the server).
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/framework/serial.h"

class CAsyncClient;
class CAsyncThunk;
class CEndLoadThread;
class CEvent;
class CSemaphore;
class CWorkerThread;

class CAsyncServer : public CObject {
  DECLARE_DYNAMIC(CAsyncServer)

 public:
  enum State { Running = 0, Finishing = 1, Stopping = 2, Stopped = 3 };
  // What GetNextJob tells a worker.
  enum NextJob { jobTaken = 0, jobNone = 1, jobQuit = 2 };
  // Final statuses of jobs the server itself ends.
  static constexpr int statusRejected = 0x1001;  // submitted while stopping; never ran
  static constexpr int statusDropped = 0x1002;   // still queued at a stop; never ran
  static constexpr int statusCutOff = 0x1003;    // running at a stop
  static constexpr int maxWorkers = 63;

  CAsyncServer();
  // Stops a run still going and waits for its threads.
  ~CAsyncServer() override;

  // Starts workerCount (1 to 63) workers and reports the run started. False,
  // with nothing reported and the server stopped, in a running or finishing
  // state, on a bad count, when a thread cannot be started or OnStart fails;
  // on a stopping server it first waits for the stop to complete. Refused on
  // the server's own threads, which would wait for themselves.
  bool Start(int workerCount);
  // Queues a job. Ignored on a stopped server (no callback at all); a
  // stopping server completes it at once with statusRejected.
  void Submit(CAsyncClient* client);
  // The run ends by itself once nothing is queued, running or pending.
  void Finish();
  // Ends a finishing run now; aborted 1 reports the end as a failure. Only
  // the flag is stored in any other state.
  void Stop(int aborted);
  // Ends a run and waits for its threads: for subclass destructors, whose
  // part must outlive the threads that call the virtual operations. Does not
  // wait when called on one of those threads.
  void Shutdown();
  State GetState();

  // For workers.
  CAsyncThunk* Thunk(int index);
  // The next job into client; a worker told jobNone is woken by a message
  // when that may have changed.
  NextJob GetNextJob(CAsyncClient*& client, int workerIndex);
  void JobFinished();
  void WorkerExited();
  // For the end-load thread: the head of the queue, or null.
  CAsyncClient* TakeQueuedJob();
  // The end-load thread's exit: waits for workers and abort threads, then
  // ends the run.
  void EndLoad();

 protected:
  virtual bool HasPendingWork() { return false; }
  virtual void OnStopped() {}
  virtual bool OnStart() { return true; }
  virtual std::unique_ptr<CWorkerThread> CreateWorker(int index);
  // A stop has cut off worker index's job (its client is completed): the
  // worker must stop waiting on whatever holds it. On an abort thread.
  virtual void OnJobCutOff(int /*index*/) {}
  // A subclass whose pending work ended calls this so idle workers look again.
  void WakeIdleWorkers();

  int m_nServerType = -1;

 private:
  // The previous run's threads, joined outside the lock.
  struct RunThreads {
    std::vector<std::unique_ptr<CWorkerThread>> workers;
    std::vector<std::thread> abortThreads;
    std::unique_ptr<CEndLoadThread> endLoad;
    bool Empty() const { return workers.empty() && abortThreads.empty() && !endLoad; }
    void Join();
  };

  bool OnOwnThread();  // called with the lock held
  void WakeAllLocked();
  void AbortJob(int index);  // on an abort thread
  void StartAbortThreadsLocked();
  void EndFailedStart(std::unique_lock<std::recursive_mutex>& lock);
  void FinalCleanup();
  void ReportProgress(int progress);

  std::recursive_mutex m_lock;
  std::condition_variable_any m_stateChanged;
  int m_nWorkerCount = 0;
  std::vector<std::unique_ptr<CAsyncThunk>> m_thunks;
  std::vector<char> m_idle;  // per worker: told jobNone and not woken since
  int m_nExitedCount = 0;
  int m_nActiveCount = 0;
  std::unique_ptr<CSemaphore> m_abortSemaphore;
  std::deque<CAsyncClient*> m_queue;
  std::unique_ptr<CEvent> m_allExitedEvent;
  int m_nAborted = 0;
  State m_state = Stopped;
  bool m_bEndLoadByWorker = false;  // no end-load thread could be started
  RunThreads m_threads;
};
