#include "engine/http/end_load_thread.h"

#include "engine/http/async_client.h"
#include "engine/http/async_server.h"

CEndLoadThread::~CEndLoadThread() { Join(); }

bool CEndLoadThread::InitInstance() {
  m_hWnd = CreateThreadWindow([](UINT, WPARAM, LPARAM) {});
  return m_hWnd != nullptr;
}

// One job per call, so messages posted meanwhile are not held up.
bool CEndLoadThread::OnIdle(long) {
  if (CAsyncClient* client = m_pServer->TakeQueuedJob()) {
    client->OnComplete(CAsyncServer::statusDropped);
    return true;
  }
  PostQuitMessage(0);
  return false;
}

int CEndLoadThread::ExitInstance() {
  DestroyThreadWindow(m_hWnd);
  m_hWnd = nullptr;
  m_pServer->EndLoad();
  return CMessageThread::ExitInstance();
}
