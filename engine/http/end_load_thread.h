// The thread a stop starts: completes every job still queued with 0x1002,
// then waits for the workers and the abort threads and ends the run.
#pragma once

#include "platform/threads/message_thread.h"

class CAsyncServer;

class CEndLoadThread : public CMessageThread {
 public:
  explicit CEndLoadThread(CAsyncServer* server) : m_pServer(server) {}
  ~CEndLoadThread() override;

  CAsyncServer* const m_pServer;
  HWND m_hWnd = nullptr;

 protected:
  bool InitInstance() override;
  bool OnIdle(long count) override;
  int ExitInstance() override;
};
