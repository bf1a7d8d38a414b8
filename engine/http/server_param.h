// What one abort thread of a stop needs: the server and the worker whose job
// it cuts off.
#pragma once

#include "platform/framework/serial.h"

class CAsyncServer;

class CServerParam : public CObject {
  DECLARE_DYNAMIC(CServerParam)

 public:
  CServerParam(CAsyncServer* server, int index) : m_pServer(server), m_nIndex(index) {}

  CAsyncServer* m_pServer;
  int m_nIndex;
};
