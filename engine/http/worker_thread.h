// One worker of the job server: a message thread that takes the next job in
// its idle handler and otherwise sleeps on its queue until the server wakes
// it (a job was submitted, the run is finishing or stopping).
#pragma once

#include "platform/threads/message_thread.h"

class CAsyncServer;
class CAsyncThunk;

// Posted by a worker to itself when a job is done, and by the server to wake
// an idle worker: either way the loop runs the idle handler again.
constexpr UINT WM_HV_WORKER_WAKE = 0x46F;

class CWorkerThread : public CMessageThread {
 public:
  CWorkerThread(CAsyncServer* server, int index);
  // Waits for the thread, which must have been told to end.
  ~CWorkerThread() override;

  // Ends the running job: completes it (unless a stop did already), frees
  // the worker and looks for the next one.
  void JobDone(int status);
  // The same, then stops the whole server as failed.
  void JobDoneAndAbort(int status);

  CAsyncServer* const m_pServer;
  const int m_nIndex;
  CAsyncThunk* const m_pThunk;
  int m_bBusy = 0;  // only the worker's own thread touches it
  HWND m_hWnd = nullptr;

 protected:
  // Runs the job bound to the thunk; it must end in JobDone, now or later
  // from a message handler of this thread. The base job does nothing.
  virtual void StartJob() { JobDone(0); }
  // Called each time the worker finds nothing to do, before it sleeps.
  virtual void IdleWork() {}

  bool InitInstance() override;
  bool OnIdle(long count) override;
  int ExitInstance() override;
};
