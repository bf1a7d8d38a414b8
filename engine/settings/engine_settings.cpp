// The settings by name, for front ends that show them as text.
#include <charconv>
#include <functional>
#include <optional>

#include "engine/schedule/schedule.h"
#include "engine/settings/engine_app.h"
#include "engine/settings/settings_store.h"
#include "platform/files/file_system.h"
#include "platform/net/tls_context.h"
#include "harvion/settings.h"
#include "resources/resources.h"

namespace {

using namespace hv::res;
namespace st = hv::settings;

struct Setting {
  const char* name;
  unsigned keyId;
  unsigned valueId;
  const char* allowed;  // empty: shown only
  std::function<std::string(const EngineApp&)> show;
  // Validates and applies: no answer when the value is refused, else
  // whether the store was written.
  std::function<std::optional<bool>(EngineApp&, const std::string&)> change;
};

bool ParseNumber(const std::string& text, long long& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

// "1", "on", "yes", "true" and their opposites.
bool ParseSwitch(const std::string& text, bool& out) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "1" || lower == "on" || lower == "yes" || lower == "true") return out = true, true;
  if (lower == "0" || lower == "off" || lower == "no" || lower == "false") return out = false, true;
  return false;
}

bool HasControlBytes(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

const std::vector<Setting>& Settings() {
  static const std::vector<Setting> settings = {
      {"proxy-server", IDS_REG_PROXY, IDS_REG_PROXY_SERVER, "a host name of up to 259 characters, or empty",
       [](const EngineApp& a) {
         const std::lock_guard lock(a.RequestSettingsLock());
         return a.m_strProxyServer;
       },
       [](EngineApp& a, const std::string& v) {
         if (v.size() >= 260 || HasControlBytes(v) || v.find_first_of(" /") != std::string::npos)
           return std::optional<bool>();
         return std::optional<bool>(a.ChangeProxy({.server = v}));
       }},
      {"proxy-port", IDS_REG_PROXY, IDS_REG_PROXY_PORT, "a port number from 0 to 65535",
       [](const EngineApp& a) { return std::to_string(a.m_nProxyPort); },
       [](EngineApp& a, const std::string& v) {
         long long n = 0;
         if (!ParseNumber(v, n) || n < 0 || n > 65535) return std::optional<bool>();
         return std::optional<bool>(a.ChangeProxy({.port = static_cast<int>(n)}));
       }},
      {"use-proxy", IDS_REG_PROXY, IDS_REG_USE_PROXY, "on or off",
       [](const EngineApp& a) { return std::string(a.m_bUseProxy ? "on" : "off"); },
       [](EngineApp& a, const std::string& v) {
         bool on = false;
         if (!ParseSwitch(v, on)) return std::optional<bool>();
         return std::optional<bool>(a.ChangeProxy({.useProxy = on}));
       }},
      {"threads", IDS_REG_CONNECTIONS, IDS_REG_THREADS, "a whole number from 1 to 63",
       [](const EngineApp& a) { return std::to_string(a.m_nThreads); },
       [](EngineApp& a, const std::string& v) {
         long long n = 0;
         if (!ParseNumber(v, n) || n < 1 || n > 63) return std::optional<bool>();
         return std::optional<bool>(a.ChangeConnections({.threads = static_cast<int>(n)}));
       }},
      {"timeout", IDS_REG_CONNECTIONS, IDS_REG_TIMEOUT, "seconds, from 1 to 3600",
       [](const EngineApp& a) { return std::to_string(a.m_nTimeout); },
       [](EngineApp& a, const std::string& v) {
         long long n = 0;
         if (!ParseNumber(v, n) || n < 1 || n > 3600) return std::optional<bool>();
         return std::optional<bool>(a.ChangeConnections({.timeout = static_cast<int>(n)}));
       }},
      {"autodial", IDS_REG_CONNECTIONS, IDS_REG_AUTODIAL, "on or off",
       [](const EngineApp& a) { return std::string(a.m_bEnableAutodial ? "on" : "off"); },
       [](EngineApp& a, const std::string& v) {
         bool on = false;
         if (!ParseSwitch(v, on)) return std::optional<bool>();
         return std::optional<bool>(a.ChangeConnections({.autodial = on}));
       }},
      {"connection", IDS_REG_CONNECTIONS, IDS_REG_CONNECTION_NAME, "a connection name of up to 259 characters",
       [](const EngineApp& a) { return a.m_strConnectionName; },
       [](EngineApp& a, const std::string& v) {
         if (v.size() >= 260 || HasControlBytes(v))
           return std::optional<bool>();
         return std::optional<bool>(a.ChangeConnections({.connectionName = v}));
       }},
      {"max-page-size", IDS_REG_CONNECTIONS, IDS_REG_MAX_PAGE_SIZE,
       "kilobytes, from 1 to 4294967295",
       [](const EngineApp& a) { return std::to_string(a.m_nMaxPageSize.load()); },
       [](EngineApp& a, const std::string& v) {
         long long n = 0;
         if (!ParseNumber(v, n) || n < 1 || n > 0xFFFFFFFFll) return std::optional<bool>();
         return std::optional<bool>(a.SetMaxPageSize(static_cast<std::uint32_t>(n)));
       }},
      {"keep-alive", IDS_REG_CONNECTIONS, IDS_REG_KEEP_ALIVE, "on or off",
       [](const EngineApp& a) { return std::string(a.m_bKeepAlive ? "on" : "off"); },
       [](EngineApp& a, const std::string& v) {
         bool on = false;
         if (!ParseSwitch(v, on)) return std::optional<bool>();
         return std::optional<bool>(a.SetKeepAlive(on));
       }},
      {"agents-folder", IDS_REG_AGENTS, IDS_REG_DIRECTORY,
       "an absolute path of up to 259 characters to a folder that exists or whose parent exists",
       [](const EngineApp& a) { return a.m_strAgentsFolder; },
       [](EngineApp& a, const std::string& v) {
         std::string path = v;
         while (path.size() > 1 && path.back() == '/') path.pop_back();
         if (!EngineApp::IsFolderPath(path) || !hv::fs::EnsureDirectory(path)) return std::optional<bool>();
         return std::optional<bool>(a.ChangeAgentsFolder(path));
       }},
      {"cache-folder", IDS_REG_CACHE, IDS_REG_DIRECTORY, "",
       [](const EngineApp& a) { return a.m_strCacheFolder; }, nullptr},
      {"user-agent", IDS_REG_AGENTS, IDS_REG_USER_AGENT, "text of up to 259 characters; empty for the default",
       [](const EngineApp& a) { return a.GetRequestSettings().userAgent; },
       [](EngineApp& a, const std::string& v) {
         if (v.size() >= 260 || HasControlBytes(v))
           return std::optional<bool>();
         return std::optional<bool>(a.SetUserAgent(v));
       }},
      {"ca-file", IDS_REG_CONNECTIONS, IDS_REG_CA_FILE,
       "an absolute path to a readable file of PEM certificates, or empty for none",
       [](const EngineApp& a) { return a.GetRequestSettings().caFile; },
       [](EngineApp& a, const std::string& v) {
         // A file that cannot be used is refused now, not found out page by page.
         std::string why;
         if (!v.empty() && (!EngineApp::IsFolderPath(v) || !hv::net::SharedTlsContext(v, why)))
           return std::optional<bool>();
         return std::optional<bool>(a.SetCaFile(v));
       }},
      // Read from the store at each use: the scheduler program runs for
      // long and takes a command set meanwhile.
      {"on-change", IDS_REG_AGENTS, IDS_REG_ON_CHANGE,
       "a command line of up to 4095 characters, or empty for none",
       [](const EngineApp&) {
         std::string key, command;
         if (st::KeyPath(IDS_REG_AGENTS, key)) st::ReadString(key, IDS_REG_ON_CHANGE, command);
         return command;
       },
       [](EngineApp&, const std::string& v) {
         std::string key;
         if (v.size() > 4095 || HasControlBytes(v) || !st::KeyPath(IDS_REG_AGENTS, key)) return std::optional<bool>();
         return std::optional<bool>(v.empty() ? st::DeleteValue(key, IDS_REG_ON_CHANGE)
                                              : st::WriteString(key, IDS_REG_ON_CHANGE, v));
       }},
      {"scheduling", IDS_REG_SCHEDULE, IDS_REG_ENABLE_SCHEDULE, "",
       [](const EngineApp&) { return std::string(CSchedule::Instance().m_bEnabled ? "on" : "off"); }, nullptr},
  };
  return settings;
}

// A stored text counts only when the engine took it (a folder that cannot be
// made, or a proxy server without a port, leaves the default in use).
bool IsStored(const Setting& setting, const std::string& shown) {
  std::string key;
  if (!st::KeyPath(setting.keyId, key)) return false;
  std::string text;
  std::uint32_t number = 0;
  if (st::ReadString(key, setting.valueId, text)) return text == shown;
  return st::ReadDWord(key, setting.valueId, number);
}

}  // namespace

std::vector<CEngineSettings::Item> CEngineSettings::List() {
  std::vector<Item> items;
  try {
    const EngineApp& app = EngineApp::Instance();
    for (const Setting& setting : Settings()) {
      std::string shown = setting.show(app);
      const bool stored = IsStored(setting, shown);
      items.push_back({setting.name, std::move(shown), stored, setting.change != nullptr, setting.allowed});
    }
  } catch (...) {
    // A store that cannot be read lists what was gathered.
  }
  return items;
}

std::string CEngineSettings::Change(const std::string& name, const std::string& value) {
  try {
    for (const Setting& setting : Settings()) {
      if (name != setting.name) continue;
      if (!setting.change) return name + " is not changed on its own";
      const std::optional<bool> written = setting.change(EngineApp::Instance(), value);
      if (!written) return name + " must be " + setting.allowed;
      return *written ? std::string() : "the settings store could not be written";
    }
    return "no setting named '" + name + "'";
  } catch (...) {
    return "the settings store could not be written";
  }
}
