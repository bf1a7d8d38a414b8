// One job of the job server. The server calls OnQueued when it accepts the
// job and OnComplete exactly once with the final status; a worker calls the
// rest while the job runs. A client that owns itself deletes itself in
// OnComplete.
#pragma once

#include "harvion/types.h"
#include "platform/framework/serial.h"

class CWorkerThread;

class CAsyncClient : public CObject {
  DECLARE_DYNAMIC(CAsyncClient)

 public:
  ~CAsyncClient() override = default;

  // A text the transport needs (kind 0 the request, 1 the address) in a
  // zeroed global block the worker frees; the answer is a job status.
  virtual int GetRequestData(CWorkerThread* worker, int kind, HGLOBAL& buffer);
  // A received block; kind is always 4.
  virtual int OnData(CWorkerThread* worker, int kind, const char* data, int length);
  // How long the worker waits before it asks for the request, milliseconds;
  // a stop cuts the wait short.
  virtual int StartDelayMs() const { return 0; }
  virtual void OnQueued() {}
  virtual void OnStarted() {}
  virtual void OnComplete(int status) { (void)status; }
};
