#include "engine/http/async_thunk.h"

#include "engine/http/async_client.h"

IMPLEMENT_DYNAMIC(CAsyncThunk, CObject)

CAsyncClient* CAsyncThunk::LockClient() {
  m_lock.lock();
  if (m_pClient) return m_pClient;
  m_lock.unlock();
  return nullptr;
}

void CAsyncThunk::ReleaseClient(CAsyncClient*& client) {
  if (!client) return;
  client = nullptr;
  m_lock.unlock();
}

void CAsyncThunk::SetResultAndRelease(CAsyncClient*& client, int status) {
  m_bResultSet = 1;
  m_nResult = status;
  ReleaseClient(client);
}

void CAsyncThunk::BindClient(CAsyncClient* client) {
  std::lock_guard lock(m_lock);
  m_pClient = client;
  m_bResultSet = 0;
  m_nResult = 0;
  if (client) client->OnStarted();
}

void CAsyncThunk::Complete(int status) {
  CAsyncClient* client = nullptr;
  {
    std::lock_guard lock(m_lock);
    client = m_pClient;
    m_pClient = nullptr;
    if (m_bResultSet) status = m_nResult;
  }
  if (client) client->OnComplete(status);
}
