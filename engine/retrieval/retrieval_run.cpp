#include "engine/retrieval/retrieval_run.h"

#include <atomic>
#include <ctime>

#include "engine/agent/agent_manager.h"
#include "engine/http/http_async_server.h"
#include "engine/retrieval/run_limits.h"
#include "engine/settings/engine_app.h"

namespace hv::run {

namespace {

std::atomic<bool> g_incomplete{false};

}  // namespace

bool StartServer() {
  CAgentManager& manager = CAgentManager::Instance();
  CHTTPAsyncServer& server = CHTTPAsyncServer::Instance();
  // A size limit stops only a run that is draining its queue, not one that
  // is still being set up.
  manager.m_runIsDraining = [&server] { return server.GetState() == CAsyncServer::Finishing; };
  manager.m_stopRun = [] {
    NoteSizeLimitStop();
    Stop();
  };
  const EngineApp& app = EngineApp::Instance();
  if (!server.Start(app.m_nThreads, app.m_nTimeout)) return false;
  ResetLimits();  // before anything is queued
  g_incomplete = false;
  return true;
}

void NoteIncomplete() { g_incomplete = true; }

bool Incomplete() { return g_incomplete; }

void FinishWhenIdle() { CHTTPAsyncServer::Instance().Finish(); }

void Stop() { CHTTPAsyncServer::Instance().Stop(0); }

CCache* Cache() { return CAgentManager::Instance().Cache(); }

std::uint32_t Now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

std::uint32_t RunStart() { return CAgentManager::Instance().m_tRunStart; }

bool InRun(std::uint32_t time) { return time != 0 && time >= RunStart(); }

}  // namespace hv::run
