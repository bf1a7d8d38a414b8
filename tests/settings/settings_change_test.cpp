// A change of one setting against a store another process wrote to since
// this one started.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "engine/settings/engine_app.h"
#include "harvion/settings.h"
#include "platform/registry/registry.h"
#include "support/test_home.h"

namespace {

const std::string kBase = "Software\\Tessarine\\Harvion Plugin\\3.0";
const std::string kProxy = kBase + "\\Proxy", kConnections = kBase + "\\Connections";

// Another process writes to the store; true when it could.
bool OtherProcess(const std::function<bool()> writes) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(20);
    ::_exit(writes() ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Stored(const std::string& key, const std::string& name) {
  std::string text;
  std::uint32_t number = 0;
  if (hv::reg::ReadString(key, name, text)) return text;
  return hv::reg::ReadDWord(key, name, number) ? std::to_string(number) : "<missing>";
}

class SettingsChange : public TestHome {};

TEST_F(SettingsChange, a_change_keeps_what_another_process_stored_meanwhile) {
  struct Case {
    const char* setting;
    const char* value;
    std::string key;          // where the setting is stored
    const char* name;         // under which name
    const char* stored;       // what the change stores
    const char* otherName;    // the value the other process writes
    std::uint32_t otherValue;
  };
  const Case cases[] = {
      {"threads", "9", kConnections, "Threads", "9", "Timeout", 77},
      {"timeout", "45", kConnections, "Timeout", "45", "Threads", 12},
      {"autodial", "on", kConnections, "Enable Autodial", "1", "Threads", 5},
      {"connection", "Home", kConnections, "Connection Name", "Home", "Enable Autodial", 1},
      {"threads", "4", kConnections, "Threads", "4", "Threads", 9},  // the user's 4 wins over the other 9
      {"use-proxy", "on", kProxy, "Use Proxy", "1", "HTTP Proxy Port", 3128},
      {"proxy-port", "8080", kProxy, "HTTP Proxy Port", "8080", "Use Proxy", 1},
      {"proxy-server", "cache.example", kProxy, "HTTP Proxy Server", "cache.example", "HTTP Proxy Port", 81},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setting) + " " + c.value);
    hv::reg::DeleteKey(kBase);
    EngineApp& app = EngineApp::Instance();
    app.InitInstance();
    ASSERT_TRUE(OtherProcess([&] { return hv::reg::WriteDWord(c.key, c.otherName, c.otherValue); }));
    ASSERT_EQ(CEngineSettings::Change(c.setting, c.value), "");
    EXPECT_EQ(Stored(c.key, c.name), c.stored);
    if (std::string(c.name) != c.otherName) {
      EXPECT_EQ(Stored(c.key, c.otherName), std::to_string(c.otherValue));
    }
    // Memory holds what the store holds, as a new start would read it.
    const auto memory = [&] {
      return std::to_string(app.m_nThreads) + " " + std::to_string(app.m_nTimeout) + " " +
             std::to_string(app.m_bEnableAutodial) + " " + app.m_strConnectionName + " " +
             std::to_string(app.m_bUseProxy) + " " + app.m_strProxyLocation;
    };
    const std::string changed = memory();
    app.InitInstance();
    EXPECT_EQ(changed, memory());
  }
}

TEST_F(SettingsChange, a_settings_page_writes_only_the_values_its_user_changed) {
  EngineApp& app = EngineApp::Instance();
  ASSERT_TRUE(OtherProcess([] {
    return hv::reg::WriteDWord(kConnections, "Timeout", 77) && hv::reg::WriteString(kProxy, "HTTP Proxy Server", "p");
  }));
  ASSERT_TRUE(app.SetConnections(app.m_nThreads, app.m_nTimeout, true, app.m_strConnectionName));
  ASSERT_TRUE(app.SetProxy(app.m_bUseProxy, app.m_strProxyServer, 3128));
  EXPECT_EQ(Stored(kConnections, "Timeout"), "77");
  EXPECT_EQ(Stored(kConnections, "Enable Autodial"), "1");
  EXPECT_EQ(Stored(kProxy, "HTTP Proxy Server"), "p");
  EXPECT_EQ(app.m_nTimeout, 77);
  EXPECT_EQ(app.m_strProxyLocation, "http://p:3128/");
}

}  // namespace
