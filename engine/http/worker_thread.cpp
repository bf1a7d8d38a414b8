#include "engine/http/worker_thread.h"

#include "engine/http/async_server.h"
#include "engine/http/async_thunk.h"

CWorkerThread::CWorkerThread(CAsyncServer* server, int index)
    : m_pServer(server), m_nIndex(index), m_pThunk(server->Thunk(index)) {}

CWorkerThread::~CWorkerThread() { Join(); }

void CWorkerThread::JobDone(int status) {
  m_pThunk->Complete(status);
  m_bBusy = 0;
  m_pServer->JobFinished();
  PostThreadMessage(WM_HV_WORKER_WAKE, 0, 0);
}

void CWorkerThread::JobDoneAndAbort(int status) {
  JobDone(status);
  m_pServer->Stop(1);
}

bool CWorkerThread::InitInstance() {
  m_bBusy = 0;
  // The window that subclasses post their own work to; messages to it run
  // on this thread.
  m_hWnd = CreateThreadWindow([](UINT, WPARAM, LPARAM) {});
  return m_hWnd != nullptr;
}

bool CWorkerThread::OnIdle(long count) {
  if (m_bBusy) return CMessageThread::OnIdle(count);
  CAsyncClient* client = nullptr;
  switch (m_pServer->GetNextJob(client, m_nIndex)) {
    case CAsyncServer::jobTaken:
      m_bBusy = 1;
      m_pThunk->BindClient(client);
      StartJob();
      break;
    case CAsyncServer::jobNone:
      m_bBusy = 1;
      IdleWork();
      m_bBusy = 0;
      return false;  // the server posts to us when there is something to do
    default:
      PostQuitMessage(0);
      break;
  }
  return CMessageThread::OnIdle(count);
}

int CWorkerThread::ExitInstance() {
  m_pServer->WorkerExited();
  DestroyThreadWindow(m_hWnd);
  m_hWnd = nullptr;
  return CMessageThread::ExitInstance();
}
