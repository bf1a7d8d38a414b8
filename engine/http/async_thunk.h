// The slot of one worker: holds the client of the job it runs. Every call
// into the client is made with the slot locked, so a stop that takes the
// client away waits for the call and the client is never called after it
// completed.
#pragma once

#include <mutex>

#include "platform/framework/serial.h"

class CAsyncClient;

class CAsyncThunk : public CObject {
  DECLARE_DYNAMIC(CAsyncThunk)

 public:
  // The bound client with the slot locked, or null (and unlocked) when no
  // job is bound any more. The lock is held across calls, so it cannot be
  // scoped; ReleaseClient ends it.
  CAsyncClient* LockClient();
  // Unlocks after LockClient when client is not null, and nulls it.
  void ReleaseClient(CAsyncClient*& client);
  // The status the job completes with, whatever Complete is told.
  void SetResultAndRelease(CAsyncClient*& client, int status);
  // Binds a job taken from the queue and tells it it started.
  void BindClient(CAsyncClient* client);
  // Takes the client out of the slot and completes it; nothing when the slot
  // is empty. The client is called after the slot is unlocked.
  void Complete(int status);

 private:
  std::recursive_mutex m_lock;  // the transport locks again while holding it
  CAsyncClient* m_pClient = nullptr;
  int m_bResultSet = 0;
  int m_nResult = 0;
};
