#include "engine/settings/engine_app.h"

#include <algorithm>
#include <cstring>

#include "engine/agent/agent_manager.h"
#include "engine/schedule/schedule.h"
#include "engine/settings/settings_store.h"
#include "harvion/exports.h"
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
  return st::ReadString(Key(keyId), IDS_REG_DIRECTORY, folder) && EngineApp::IsFolderPath(folder) &&
         hv::fs::EnsureDirectory(folder);
}

// The folder used when none is stored: the user's Harvion folder, since the
// system's temporary folder is wiped at boot and would lose every agent.
std::string FallbackFolder() { return hv::HomeDirectory(); }

std::string ProxyLocation(const std::string& server, int port) {
  if (server.empty() || port == 0) return {};
  return "http://" + server + ":" + std::to_string(port) + "/";
}

// The values under Proxy as they are stored: none where a value is missing
// or of another type.
struct StoredProxy {
  std::optional<std::string> server;
  std::optional<std::uint32_t> port;
  std::uint32_t use = 0;
};

StoredProxy ReadProxy(const hv::reg::Tree& tree, const std::string& key) {
  StoredProxy stored;
  if (key.empty()) return stored;
  std::string server;
  std::uint32_t port = 0;
  if (tree.ReadString(key, st::ValueName(IDS_REG_PROXY_SERVER), server)) stored.server = server;
  if (tree.ReadDWord(key, st::ValueName(IDS_REG_PROXY_PORT), port)) stored.port = port;
  tree.ReadDWord(key, st::ValueName(IDS_REG_USE_PROXY), stored.use);
  return stored;
}

// The values under Connections as stored, the defaults where missing.
struct StoredConnections {
  std::uint32_t threads = 4;
  std::uint32_t timeout = 30;
  std::uint32_t autodial = 0;
  std::string name;
};

StoredConnections ReadConnections(const hv::reg::Tree& tree, const std::string& key) {
  StoredConnections stored;
  if (key.empty()) return stored;
  tree.ReadDWord(key, st::ValueName(IDS_REG_THREADS), stored.threads);
  tree.ReadDWord(key, st::ValueName(IDS_REG_TIMEOUT), stored.timeout);
  tree.ReadDWord(key, st::ValueName(IDS_REG_AUTODIAL), stored.autodial);
  tree.ReadString(key, st::ValueName(IDS_REG_CONNECTION_NAME), stored.name);
  return stored;
}

StoredConnections ViewConnections() {
  StoredConnections stored;
  hv::reg::View([&](const hv::reg::Tree& tree) { stored = ReadConnections(tree, Key(IDS_REG_CONNECTIONS)); });
  return stored;
}

// The exported reader's form: autodial 0 or 1, a name only when it fits.
void Export(const StoredConnections& stored, int* threads, int* timeout, int* autodial, char* connectionName) {
  if (threads) *threads = static_cast<int>(stored.threads);
  if (timeout) *timeout = static_cast<int>(stored.timeout);
  if (autodial) *autodial = stored.autodial != 0 ? 1 : 0;
  if (connectionName) {
    const bool fits = stored.name.size() < kMaxPath;
    std::memcpy(connectionName, fits ? stored.name.c_str() : "", fits ? stored.name.size() + 1 : 1);
  }
}

// Server and port both or neither, each as read: an empty server keeps its
// port, though it makes no proxy location.
void TakeProxy(EngineApp& app, const StoredProxy& stored) {
  const bool both = stored.server && stored.port && stored.server->size() < kMaxPath;
  const std::lock_guard lock(app.RequestSettingsLock());
  app.m_strProxyServer = both ? *stored.server : std::string();
  app.m_nProxyPort = both ? static_cast<int>(*stored.port) : 0;
  app.m_strProxyLocation = ProxyLocation(app.m_strProxyServer, app.m_nProxyPort);
  app.m_bUseProxy = stored.use != 0;
}

void TakeConnections(EngineApp& app, const StoredConnections& stored) {
  int threads = 0, timeout = 0, autodial = 0;
  char name[kMaxPath];
  Export(stored, &threads, &timeout, &autodial, name);
  // The transfer workers need 1 to 63 threads and a time limit that is one.
  app.m_nThreads = std::clamp(threads, 1, 63);
  app.m_nTimeout = timeout < 1 ? 30 : timeout;
  app.m_bEnableAutodial = autodial != 0;
  app.m_strConnectionName = name;
}

}  // namespace

EngineApp& EngineApp::Instance() {
  static EngineApp app;
  return app;
}

EngineApp::EngineApp() { InitInstance(); }

void EngineApp::InitInstance() {
  StoredProxy proxy;
  hv::reg::View([&](const hv::reg::Tree& tree) { proxy = ReadProxy(tree, Key(IDS_REG_PROXY)); });
  TakeProxy(*this, proxy);
  LoadFolders();
  TakeConnections(*this, ViewConnections());
  std::uint32_t pageLimit = 0;
  st::ReadDWord(Key(IDS_REG_CONNECTIONS), IDS_REG_MAX_PAGE_SIZE, pageLimit);
  m_nMaxPageSize = pageLimit != 0 ? pageLimit : kDefaultMaxPageSize;
  std::uint32_t keepAlive = 0;
  st::ReadDWord(Key(IDS_REG_CONNECTIONS), IDS_REG_KEEP_ALIVE, keepAlive);
  m_bKeepAlive = keepAlive != 0;
  std::string caFile;
  st::ReadString(Key(IDS_REG_CONNECTIONS), IDS_REG_CA_FILE, caFile);
  {
    const std::lock_guard lock(m_requestSettingsLock);
    m_strCaFile = std::move(caFile);
  }
  CSchedule::Instance().Load();
  // Told once per start: every value above is then its default.
  if (const std::string problem = hv::reg::StoreProblem(); !problem.empty()) DisplayError(problem.c_str(), nullptr);
}

void EngineApp::LoadFolders() {
  if (!ReadFolder(IDS_REG_CACHE, m_strCacheFolder)) m_strCacheFolder = FallbackFolder();
  std::string userAgent;
  if (!st::ReadString(Key(IDS_REG_AGENTS), IDS_REG_USER_AGENT, userAgent) || userAgent.empty())
    userAgent = LoadString(IDS_USER_AGENT);
  if (!ReadFolder(IDS_REG_AGENTS, m_strAgentsFolder)) m_strAgentsFolder = FallbackFolder();
  if (userAgent.empty()) userAgent = "Harvion/2.0";
  const std::lock_guard lock(m_requestSettingsLock);
  m_strUserAgent = std::move(userAgent);
}

bool EngineApp::IsFolderPath(const std::string& path) {
  return !path.empty() && path[0] == '/' && path.size() < kMaxPath &&
         std::none_of(path.begin(), path.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

void EngineApp::ExitInstance() { CAgentManager::Instance().Close(true); }

bool EngineApp::RequestSettings::ProxiedTarget(const std::string& location, std::string& target) const {
  // Without a proxy location the request goes straight to the server.
  if (!useProxy || proxyLocation.empty()) {
    target = location;
    return false;
  }
  target = proxyLocation + location;
  return true;
}

EngineApp::RequestSettings EngineApp::GetRequestSettings() const {
  const std::lock_guard lock(m_requestSettingsLock);
  return {m_strUserAgent, m_bUseProxy, m_strProxyLocation, m_strCaFile};
}

bool EngineApp::GetProxiedTarget(const std::string& location, std::string& target) const {
  return GetRequestSettings().ProxiedTarget(location, target);
}

bool EngineApp::GetProxy(char* buffer, std::size_t size, int& useProxy, int& port) const {
  const std::lock_guard lock(m_requestSettingsLock);
  if (!buffer || m_strProxyServer.size() >= size) return false;
  std::memcpy(buffer, m_strProxyServer.c_str(), m_strProxyServer.size() + 1);
  useProxy = m_bUseProxy ? 1 : 0;
  port = m_nProxyPort;
  return true;
}

bool EngineApp::ChangeProxy(const ProxyChange& change) {
  {
    const std::lock_guard lock(m_requestSettingsLock);
    if (change.useProxy) m_bUseProxy = *change.useProxy;
    if (change.server) m_strProxyServer = *change.server;
    if (change.port) m_nProxyPort = *change.port;
    m_strProxyLocation = ProxyLocation(m_strProxyServer, m_nProxyPort);
  }
  const std::string key = Key(IDS_REG_PROXY);
  if (key.empty()) return false;
  std::optional<StoredProxy> written;
  const bool ok = hv::reg::Edit([&](hv::reg::Tree& tree) {
    StoredProxy stored = ReadProxy(tree, key);
    if (change.server) stored.server = *change.server;
    if (change.port) stored.port = static_cast<std::uint32_t>(*change.port);
    if (change.useProxy) stored.use = *change.useProxy ? 1u : 0u;
    stored.server = stored.server.value_or(std::string());
    stored.port = stored.port.value_or(0);
    tree.WriteString(key, st::ValueName(IDS_REG_PROXY_SERVER), *stored.server);
    tree.WriteDWord(key, st::ValueName(IDS_REG_PROXY_PORT), *stored.port);
    tree.WriteDWord(key, st::ValueName(IDS_REG_USE_PROXY), stored.use);
    written = stored;
  });
  if (written) TakeProxy(*this, *written);
  return ok;
}

bool EngineApp::ChangeConnections(const ConnectionChange& change) {
  if (change.threads) m_nThreads = *change.threads;
  if (change.timeout) m_nTimeout = *change.timeout;
  if (change.autodial) m_bEnableAutodial = *change.autodial;
  if (change.connectionName) m_strConnectionName = *change.connectionName;
  const std::string key = Key(IDS_REG_CONNECTIONS);
  if (key.empty()) return false;
  std::optional<StoredConnections> written;
  const bool ok = hv::reg::Edit([&](hv::reg::Tree& tree) {
    StoredConnections stored = ReadConnections(tree, key);
    if (change.threads) stored.threads = static_cast<std::uint32_t>(*change.threads);
    if (change.timeout) stored.timeout = static_cast<std::uint32_t>(*change.timeout);
    if (change.autodial) stored.autodial = *change.autodial ? 1u : 0u;
    if (change.connectionName) stored.name = *change.connectionName;
    tree.WriteDWord(key, st::ValueName(IDS_REG_THREADS), stored.threads);
    tree.WriteDWord(key, st::ValueName(IDS_REG_TIMEOUT), stored.timeout);
    tree.WriteDWord(key, st::ValueName(IDS_REG_AUTODIAL), stored.autodial);
    tree.WriteString(key, st::ValueName(IDS_REG_CONNECTION_NAME), stored.name);
    written = stored;
  });
  if (written) TakeConnections(*this, *written);
  return ok;
}

bool EngineApp::SetProxy(bool useProxy, const std::string& server, int port) {
  ProxyChange change;
  if (useProxy != m_bUseProxy) change.useProxy = useProxy;
  if (server != m_strProxyServer) change.server = server;
  if (port != m_nProxyPort) change.port = port;
  return ChangeProxy(change);
}

bool EngineApp::SetConnections(int threads, int timeout, bool autodial, const std::string& connectionName) {
  ConnectionChange change;
  if (threads != m_nThreads) change.threads = threads;
  if (timeout != m_nTimeout) change.timeout = timeout;
  if (autodial != m_bEnableAutodial) change.autodial = autodial;
  if (connectionName != m_strConnectionName) change.connectionName = connectionName;
  return ChangeConnections(change);
}

bool EngineApp::ChangeAgentsFolder(const std::string& path) {
  if (!IsFolderPath(path) || !hv::fs::EnsureDirectory(path)) return false;
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
  {
    const std::lock_guard lock(m_requestSettingsLock);
    m_strUserAgent = userAgent.empty() ? LoadString(IDS_USER_AGENT) : userAgent;
  }
  const std::string key = Key(IDS_REG_AGENTS);
  return userAgent.empty() ? st::DeleteValue(key, IDS_REG_USER_AGENT)
                           : st::WriteString(key, IDS_REG_USER_AGENT, userAgent);
}

bool EngineApp::SetCaFile(const std::string& path) {
  {
    const std::lock_guard lock(m_requestSettingsLock);
    m_strCaFile = path;
  }
  const std::string key = Key(IDS_REG_CONNECTIONS);
  return path.empty() ? st::DeleteValue(key, IDS_REG_CA_FILE) : st::WriteString(key, IDS_REG_CA_FILE, path);
}

bool EngineApp::SetMaxPageSize(std::uint32_t kilobytes) {
  m_nMaxPageSize = kilobytes != 0 ? kilobytes : kDefaultMaxPageSize;
  return st::WriteDWord(Key(IDS_REG_CONNECTIONS), IDS_REG_MAX_PAGE_SIZE, m_nMaxPageSize);
}

bool EngineApp::SetKeepAlive(bool on) {
  m_bKeepAlive = on;
  return st::WriteDWord(Key(IDS_REG_CONNECTIONS), IDS_REG_KEEP_ALIVE, on ? 1 : 0);
}

void LoadConnectionInfo(int* threads, int* timeout, int* autodial, char* connectionName) {
  try {
    Export(ViewConnections(), threads, timeout, autodial, connectionName);
  } catch (...) {
    Export(StoredConnections{}, threads, timeout, autodial, connectionName);
  }
}

std::string GetHomeDirectory() {
  try {
    return hv::HomeDirectory();
  } catch (...) {
    return {};
  }
}

std::string GetHomeProblem() {
  try {
    return hv::HomeProblem();
  } catch (...) {
    return "the Harvion folder cannot be made";
  }
}
