#include "engine/http/async_client.h"

IMPLEMENT_DYNAMIC(CAsyncClient, CObject)

int CAsyncClient::GetRequestData(CWorkerThread*, int, HGLOBAL& buffer) {
  buffer = nullptr;
  return 0;
}

int CAsyncClient::OnData(CWorkerThread*, int, const char*, int) { return 0; }
