#include "engine/settings/engine_app.h"

#include "platform/files/file_system.h"
#include "platform/home.h"
#include "resources/resources.h"

EngineApp& EngineApp::Instance() {
  static EngineApp app;
  return app;
}

EngineApp::EngineApp() { InitInstance(); }

void EngineApp::InitInstance() {
  // Agents live in the user's Harvion folder: the system's temporary folder
  // is wiped at boot and would lose every agent.
  const std::string home = hv::HomeDirectory();
  m_strCacheFolder = home;
  m_strAgentsFolder = home;
  m_strUserAgent = hv::res::LoadString(hv::res::IDS_USER_AGENT);
}
