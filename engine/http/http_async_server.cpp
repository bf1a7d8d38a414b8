#include "engine/http/http_async_server.h"

#include <climits>

#include "engine/http/http_worker_thread.h"
#include "engine/settings/engine_app.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/ui_client.h"

IMPLEMENT_DYNAMIC(CHTTPAsyncServer, CAsyncServer)

namespace {
constexpr UINT kIdsNoConnectionName = 635;  // "Please specify a valid connection to use"
constexpr UINT kIdsCouldNotDial = 636;      // "Could not dial"
}  // namespace

CHTTPAsyncServer& CHTTPAsyncServer::Instance() {
  static CHTTPAsyncServer server(CUIClient::stHttp);
  return server;
}

CHTTPAsyncServer::CHTTPAsyncServer(int serverType) { m_nServerType = serverType; }

CHTTPAsyncServer::~CHTTPAsyncServer() { Shutdown(); }

bool CHTTPAsyncServer::Start(int threads, int timeoutSeconds) {
  // A second start during a run would take the hang-up away from the run
  // that dialled.
  if (const State state = GetState(); state == Running || state == Finishing) return false;
  const int seconds = timeoutSeconds < 0 ? 0 : (timeoutSeconds > INT_MAX / 1000 ? INT_MAX / 1000 : timeoutSeconds);
  // Taken up by OnStart: a run still stopping keeps its own until it ends.
  m_nNextTimeout = seconds * 1000;
  m_noHangup = 1;
  if (!DialIfNeeded()) return false;
  if (!CAsyncServer::Start(threads)) {
    OnStopped();
    return false;
  }
  return true;
}

bool CHTTPAsyncServer::DialIfNeeded() {
  const EngineApp& app = EngineApp::Instance();
  if (!app.m_bEnableAutodial) return true;
  m_ras.Init();
  const std::string name = app.m_strConnectionName;
  if (name.empty()) {
    DisplayError(kIdsNoConnectionName, CSafClient::GetSafClient()->GetMainWnd());
    return false;
  }
  if (m_ras.ConnectionRunning(name.c_str())) return true;
  if (!m_ras.Dial(name.c_str())) {
    DisplayError(kIdsCouldNotDial, CSafClient::GetSafClient()->GetMainWnd());
    return false;
  }
  m_noHangup = 0;
  return true;
}

// POSIX sockets need no start-up: the socket layer is always there. Called
// under the server lock before any job can run.
bool CHTTPAsyncServer::OnStart() {
  m_nTimeout = m_nNextTimeout;
  m_sockets.Reset();
  return true;
}

void CHTTPAsyncServer::OnJobCutOff(int index) { m_sockets.CutOff(index); }

void CHTTPAsyncServer::OnStopped() {
  // Before the run's end is reported: the pages waiting for an answer end
  // as dropped, like the jobs still queued.
  m_asker.DropAll();
  m_pool.CloseAll();
  if (m_noHangup == 0) m_ras.Hangup();
  m_noHangup = 1;
}

std::unique_ptr<CWorkerThread> CHTTPAsyncServer::CreateWorker(int index) {
  return std::make_unique<CHTTPWorkerThread>(this, index);
}
