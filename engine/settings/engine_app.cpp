#include "engine/settings/engine_app.h"

#include <algorithm>
#include <cstring>

#include "engine/agent/agent_manager.h"
#include "engine/schedule/schedule.h"
#include "engine/settings/settings_store.h"
#include "harvion/message_target.h"
#include "harvion/messages.h"
#include "harvion/saf_client.h"
#include "harvion/settings.h"
#include "platform/files/file_system.h"
#include "platform/home.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"

namespace {

using namespace hv::res;
namespace st = hv::settings;

constexpr std::size_t kMaxPath = 260;  // longest folder, server or name kept

std::string Key(unsigned id) {
  std::string key;
  st::KeyPath(id, key);
  return key;
}

// A stored folder that is one, or can be made one (one level only).
bool ReadFolder(unsigned keyId, std::string& folder) {
  return st::ReadString(Key(keyId), IDS_REG_DIRECTORY, folder) && !folder.empty() && folder.size() < kMaxPath &&
         hv::fs::EnsureDirectory(folder);
}

// The folder used when none is stored: the user's Harvion folder, since the
// system's temporary folder is wiped at boot and would lose every agent.
std::string FallbackFolder() { return hv::HomeDirectory(); }

}  // namespace

EngineApp& EngineApp::Instance() {
  static EngineApp app;
  return app;
}

EngineApp::EngineApp() { InitInstance(); }

void EngineApp::InitInstance() {
  LoadProxy();
  LoadFolders();
  int autodial = 0;
  char name[kMaxPath] = {};
  LoadConnectionInfo(&m_nThreads, &m_nTimeout, &autodial, name);
  m_bEnableAutodial = autodial != 0;
  m_strConnectionName = name;
  // The transfer workers need 1 to 63 threads and a time limit that is one.
  m_nThreads = std::clamp(m_nThreads, 1, 63);
  if (m_nTimeout < 1) m_nTimeout = 30;
  CSchedule::Instance().Load();
}

void EngineApp::LoadProxy() {
  m_strProxyServer.clear();
  m_nProxyPort = 0;
  m_strProxyLocation.clear();
  const std::string key = Key(IDS_REG_PROXY);
  std::string server;
  std::uint32_t port = 0;
  // Both or neither: a port without a server makes no proxy.
  if (st::ReadString(key, IDS_REG_PROXY_SERVER, server) && !server.empty() && server.size() < kMaxPath &&
      st::ReadDWord(key, IDS_REG_PROXY_PORT, port)) {
    m_strProxyServer = server;
    m_nProxyPort = static_cast<int>(port);
    FormatProxyLocation();
  }
  std::uint32_t use = 0;
  st::ReadDWord(key, IDS_REG_USE_PROXY, use);
  m_bUseProxy = use != 0;
}

void EngineApp::FormatProxyLocation() {
  m_strProxyLocation.clear();
  if (!m_strProxyServer.empty() && m_nProxyPort != 0)
    m_strProxyLocation = "http://" + m_strProxyServer + ":" + std::to_string(m_nProxyPort) + "/";
}

void EngineApp::LoadFolders() {
  if (!ReadFolder(IDS_REG_CACHE, m_strCacheFolder)) m_strCacheFolder = FallbackFolder();
  if (!st::ReadString(Key(IDS_REG_AGENTS), IDS_REG_USER_AGENT, m_strUserAgent) || m_strUserAgent.empty())
    m_strUserAgent = LoadString(IDS_USER_AGENT);
  if (!ReadFolder(IDS_REG_AGENTS, m_strAgentsFolder)) m_strAgentsFolder = FallbackFolder();
  if (m_strUserAgent.empty()) m_strUserAgent = "Harvion/2.0";
}

void EngineApp::ExitInstance() { CAgentManager::Instance().Close(true); }

bool EngineApp::GetProxiedTarget(const std::string& location, std::string& target) const {
  // Without a proxy location the request goes straight to the server.
  if (!m_bUseProxy || m_strProxyLocation.empty()) {
    target = location;
    return false;
  }
  target = m_strProxyLocation + location;
  return true;
}

bool EngineApp::GetProxy(char* buffer, std::size_t size, int& useProxy, int& port) const {
  if (!buffer || m_strProxyServer.size() >= size) return false;
  std::memcpy(buffer, m_strProxyServer.c_str(), m_strProxyServer.size() + 1);
  useProxy = m_bUseProxy ? 1 : 0;
  port = m_nProxyPort;
  return true;
}

bool EngineApp::SetProxy(bool useProxy, const std::string& server, int port) {
  m_bUseProxy = useProxy;
  m_strProxyServer = server;
  m_nProxyPort = port;
  FormatProxyLocation();
  const std::string key = Key(IDS_REG_PROXY);
  return st::WriteString(key, IDS_REG_PROXY_SERVER, server) &&
         st::WriteDWord(key, IDS_REG_PROXY_PORT, static_cast<std::uint32_t>(port)) &&
         st::WriteDWord(key, IDS_REG_USE_PROXY, useProxy ? 1u : 0u);
}

bool EngineApp::SetConnections(int threads, int timeout, bool autodial, const std::string& connectionName) {
  m_nThreads = threads;
  m_nTimeout = timeout;
  m_bEnableAutodial = autodial;
  m_strConnectionName = connectionName;
  const std::string key = Key(IDS_REG_CONNECTIONS);
  return st::WriteDWord(key, IDS_REG_THREADS, static_cast<std::uint32_t>(threads)) &&
         st::WriteDWord(key, IDS_REG_TIMEOUT, static_cast<std::uint32_t>(timeout)) &&
         st::WriteDWord(key, IDS_REG_AUTODIAL, autodial ? 1u : 0u) &&
         st::WriteString(key, IDS_REG_CONNECTION_NAME, connectionName);
}

bool EngineApp::ChangeAgentsFolder(const std::string& path) {
  if (path.empty() || path.size() >= kMaxPath || !hv::fs::EnsureDirectory(path)) return false;
  HWND mainWnd = CSafClient::GetSafClient()->GetMainWnd();
  PostMessage(mainWnd, WM_HV_AGENTS_FOLDER_CHANGING, 0, 0);
  CAgentManager::Instance().Close(true);
  m_strAgentsFolder = path;
  bool written = st::WriteString(Key(IDS_REG_AGENTS), IDS_REG_DIRECTORY, path);
  m_strCacheFolder = path;
  written = st::WriteString(Key(IDS_REG_CACHE), IDS_REG_DIRECTORY, path) && written;
  PostMessage(mainWnd, WM_HV_AGENTS_FOLDER_CHANGED, 0, 0);
  return written;
}

bool EngineApp::SetUserAgent(const std::string& userAgent) {
  m_strUserAgent = userAgent.empty() ? LoadString(IDS_USER_AGENT) : userAgent;
  const std::string key = Key(IDS_REG_AGENTS);
  return userAgent.empty() ? st::DeleteValue(key, IDS_REG_USER_AGENT)
                           : st::WriteString(key, IDS_REG_USER_AGENT, userAgent);
}

void LoadConnectionInfo(int* threads, int* timeout, int* autodial, char* connectionName) {
  try {
    if (threads) *threads = 4;
    if (timeout) *timeout = 30;
    if (autodial) *autodial = 0;
    if (connectionName) *connectionName = '\0';
    const std::string key = Key(IDS_REG_CONNECTIONS);
    std::uint32_t value = 0;
    if (threads && st::ReadDWord(key, IDS_REG_THREADS, value)) *threads = static_cast<int>(value);
    if (timeout && st::ReadDWord(key, IDS_REG_TIMEOUT, value)) *timeout = static_cast<int>(value);
    if (autodial && st::ReadDWord(key, IDS_REG_AUTODIAL, value)) *autodial = value != 0 ? 1 : 0;
    std::string name;
    if (connectionName && st::ReadString(key, IDS_REG_CONNECTION_NAME, name) && name.size() < kMaxPath)
      std::memcpy(connectionName, name.c_str(), name.size() + 1);
  } catch (...) {
    // The defaults stand.
  }
}
