// Start-up defaults and fallbacks of the global settings, and the setters
// that change memory and the store together, also against a store another
// process wrote to meanwhile.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>

#include "engine/agent/agent_manager.h"
#include "engine/schedule/schedule.h"
#include "engine/settings/engine_app.h"
#include "engine/settings/settings_store.h"
#include "harvion/messages.h"
#include "harvion/saf_client.h"
#include "harvion/settings.h"
#include "platform/files/file_system.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"
#include "support/test_certificates.h"
#include "support/test_home.h"
#include "support/text_files.h"

namespace {

const std::string kBase = "Software\\Tessarine\\Harvion Plugin\\3.0";
const std::string kProxy = kBase + "\\Proxy", kConnections = kBase + "\\Connections";

// Another process writes to the store; true when it could.
bool OtherProcess(const std::function<bool()>& writes) {
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

class Settings : public TestHome {
 protected:
  EngineApp& App() { return EngineApp::Instance(); }
  // Start-up again, as a new process would.
  EngineApp& Restart() {
    App().InitInstance();
    return App();
  }
};

TEST_F(Settings, fresh_profile_gives_every_default) {
  EngineApp& app = Restart();
  EXPECT_EQ(app.m_nThreads, 4);
  EXPECT_EQ(app.m_nTimeout, 30);
  EXPECT_FALSE(app.m_bEnableAutodial);
  EXPECT_EQ(app.m_strConnectionName, "");
  EXPECT_EQ(app.m_nMaxPageSize, 1u << 20);  // 1 GiB in kilobytes
  EXPECT_FALSE(app.m_bUseProxy);
  EXPECT_EQ(app.m_strProxyServer, "");
  EXPECT_EQ(app.m_nProxyPort, 0);
  EXPECT_EQ(app.m_strProxyLocation, "");
  EXPECT_EQ(app.m_strUserAgent, "Harvion/2.0");
  EXPECT_EQ(app.m_strAgentsFolder, m_dir);
  EXPECT_EQ(app.m_strCacheFolder, m_dir);
  // The five default schedules were written, scheduling is off.
  EXPECT_EQ(hv::reg::SubKeys(kBase + "\\Schedule"),
            (std::vector<std::string>{"Hourly", "Periodically", "Weekdays", "Weekly", "Monthly"}));
  std::uint32_t enabled = 7;
  EXPECT_TRUE(hv::reg::ReadDWord(kBase + "\\Schedule", "Enable Schedule", enabled));
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(CSchedule::Instance().m_bEnabled, 0);
  // Nothing else is written at start-up.
  EXPECT_FALSE(hv::reg::KeyExists(kBase + "\\Proxy"));
  EXPECT_FALSE(hv::reg::KeyExists(kBase + "\\Connections"));
}

TEST_F(Settings, stored_values_are_read_at_start_up) {
  hv::reg::WriteString(kBase + "\\Proxy", "HTTP Proxy Server", "proxy.local");
  hv::reg::WriteDWord(kBase + "\\Proxy", "HTTP Proxy Port", 3128);
  hv::reg::WriteDWord(kBase + "\\Proxy", "Use Proxy", 5);
  hv::reg::WriteDWord(kBase + "\\Connections", "Threads", 9);
  hv::reg::WriteDWord(kBase + "\\Connections", "Timeout", 12);
  hv::reg::WriteDWord(kBase + "\\Connections", "Enable Autodial", 2);
  hv::reg::WriteString(kBase + "\\Connections", "Connection Name", "Office");
  hv::reg::WriteDWord(kBase + "\\Connections", "Max Page Size", 640);
  hv::reg::WriteString(kBase + "\\Agents", "User Agent", "Tester/1");
  EngineApp& app = Restart();
  EXPECT_TRUE(app.m_bUseProxy);
  EXPECT_EQ(app.m_strProxyLocation, "http://proxy.local:3128/");
  EXPECT_EQ(app.m_nThreads, 9);
  EXPECT_EQ(app.m_nTimeout, 12);
  EXPECT_TRUE(app.m_bEnableAutodial);
  EXPECT_EQ(app.m_strConnectionName, "Office");
  EXPECT_EQ(app.m_nMaxPageSize, 640u);
  EXPECT_EQ(app.m_strUserAgent, "Tester/1");
}

TEST_F(Settings, proxy_port_without_server_makes_no_proxy_but_keeps_the_switch) {
  hv::reg::WriteDWord(kBase + "\\Proxy", "HTTP Proxy Port", 8080);
  hv::reg::WriteDWord(kBase + "\\Proxy", "Use Proxy", 1);
  EngineApp& app = Restart();
  EXPECT_EQ(app.m_strProxyLocation, "");
  EXPECT_EQ(app.m_nProxyPort, 0);
  EXPECT_TRUE(app.m_bUseProxy);
  // With no proxy to go through, requests go straight to the server.
  std::string target;
  EXPECT_FALSE(app.GetProxiedTarget("http://s/x", target));
  EXPECT_EQ(target, "http://s/x");
}

TEST_F(Settings, proxy_server_and_port_are_kept_both_as_read_or_neither) {
  struct Case {
    std::optional<std::string> server;
    std::optional<std::uint32_t> port;
    std::string kept;  // server:port in memory
    std::string location;
  } const cases[] = {
      {"proxy.local", 3128, "proxy.local:3128", "http://proxy.local:3128/"},
      {"", 8080, ":8080", ""},
      {std::nullopt, 8080, ":0", ""},
      {"proxy.local", std::nullopt, ":0", ""},
      {std::string(260, 's'), 3128, ":0", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kept);
    hv::reg::DeleteKey(kProxy);
    if (c.server) hv::reg::WriteString(kProxy, "HTTP Proxy Server", *c.server);
    if (c.port) hv::reg::WriteDWord(kProxy, "HTTP Proxy Port", *c.port);
    EngineApp& app = Restart();
    EXPECT_EQ(app.m_strProxyServer + ":" + std::to_string(app.m_nProxyPort), c.kept);
    EXPECT_EQ(app.m_strProxyLocation, c.location);
    // Switching the proxy on leaves the stored server and port as they were.
    ASSERT_EQ(CEngineSettings::Change("use-proxy", "on"), "");
    EXPECT_EQ(Stored(kProxy, "HTTP Proxy Server"), c.server.value_or(""));
    EXPECT_EQ(Stored(kProxy, "HTTP Proxy Port"), std::to_string(c.port.value_or(0)));
  }
}

TEST_F(Settings, folders_that_are_not_absolute_paths_fall_back_at_start_up) {
  // Run from a folder of its own, to see nothing is created where we stand.
  const std::string here = Path("here");
  ASSERT_TRUE(hv::fs::EnsureDirectory(here));
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(here.c_str()), 0);
  for (const char* folder : {"rel", "./rel", "rel/", "../here/rel", "~/rel", ""}) {
    SCOPED_TRACE(folder);
    hv::reg::WriteString(kBase + "\\Agents", "Directory", folder);
    hv::reg::WriteString(kBase + "\\Cache", "Directory", folder);
    EngineApp& app = Restart();
    EXPECT_EQ(app.m_strAgentsFolder, m_dir);
    EXPECT_EQ(app.m_strCacheFolder, m_dir);
    EXPECT_NE(CEngineSettings::Change("agents-folder", folder), "");
  }
  EXPECT_EQ(chdir(old), 0);
  std::int64_t count = -1, bytes = -1;
  hv::fs::MeasureFolder(here, count, bytes);
  EXPECT_EQ(count, 0);
}

TEST_F(Settings, agents_folder_is_created_one_level_only) {
  const std::string one = Path("agents");
  hv::reg::WriteString(kBase + "\\Agents", "Directory", one);
  EXPECT_EQ(Restart().m_strAgentsFolder, one);
  struct stat st {};
  EXPECT_EQ(stat(one.c_str(), &st), 0);

  const std::string deep = Path("missing/agents");
  hv::reg::WriteString(kBase + "\\Agents", "Directory", deep);
  hv::reg::WriteString(kBase + "\\Cache", "Directory", deep);
  EngineApp& app = Restart();
  EXPECT_EQ(app.m_strAgentsFolder, m_dir);
  EXPECT_EQ(app.m_strCacheFolder, m_dir);

  // A path that is a file is no folder either.
  WriteFile(Path("plain"), {1});
  hv::reg::WriteString(kBase + "\\Agents", "Directory", Path("plain"));
  EXPECT_EQ(Restart().m_strAgentsFolder, m_dir);
}

TEST_F(Settings, empty_user_agent_counts_as_missing) {
  hv::reg::WriteString(kBase + "\\Agents", "User Agent", "");
  EXPECT_EQ(Restart().m_strUserAgent, "Harvion/2.0");
}

TEST_F(Settings, out_of_range_connection_values_are_made_usable) {
  hv::reg::WriteDWord(kBase + "\\Connections", "Threads", 500);
  hv::reg::WriteDWord(kBase + "\\Connections", "Timeout", 0);
  EngineApp& app = Restart();
  EXPECT_EQ(app.m_nThreads, 63);
  EXPECT_EQ(app.m_nTimeout, 30);
}

TEST_F(Settings, set_proxy_writes_all_three_and_formats_the_location) {
  EngineApp& app = App();
  ASSERT_TRUE(app.SetProxy(true, "cache.example", 8080));
  std::string target;
  EXPECT_TRUE(app.GetProxiedTarget("http://s/x", target));
  EXPECT_EQ(target, "http://cache.example:8080/http://s/x");
  EngineApp& again = Restart();
  EXPECT_TRUE(again.m_bUseProxy);
  EXPECT_EQ(again.m_strProxyServer, "cache.example");
  EXPECT_EQ(again.m_nProxyPort, 8080);

  char host[32];
  int use = 0, port = 0;
  ASSERT_EQ(CSafClient::GetProxy(&use, host, sizeof host, &port), 1);
  EXPECT_STREQ(host, "cache.example");
  EXPECT_EQ(use, 1);
  EXPECT_EQ(port, 8080);
  // Too small: nothing copied, outputs untouched.
  char small[13];
  std::memset(small, 'x', sizeof small);
  int use2 = -1, port2 = -1;
  EXPECT_EQ(CSafClient::GetProxy(&use2, small, sizeof small, &port2), 0);
  EXPECT_EQ(small[0], 'x');
  EXPECT_EQ(use2, -1);
  EXPECT_EQ(port2, -1);
}

TEST_F(Settings, set_connections_round_trips_through_the_exported_reader) {
  ASSERT_TRUE(App().SetConnections(7, 45, true, "Dial Home"));
  int threads = 0, timeout = 0, autodial = 0;
  char name[260];
  LoadConnectionInfo(&threads, &timeout, &autodial, name);
  EXPECT_EQ(threads, 7);
  EXPECT_EQ(timeout, 45);
  EXPECT_EQ(autodial, 1);
  EXPECT_STREQ(name, "Dial Home");
}

TEST_F(Settings, connection_reader_normalises_autodial_and_refuses_an_overlong_name) {
  hv::reg::WriteDWord(kBase + "\\Connections", "Enable Autodial", 0x80);
  hv::reg::WriteString(kBase + "\\Connections", "Connection Name", std::string(400, 'n'));
  int threads = 0, timeout = 0, autodial = 0;
  char name[260];
  std::memset(name, 'x', sizeof name);
  LoadConnectionInfo(&threads, &timeout, &autodial, name);
  EXPECT_EQ(threads, 4);
  EXPECT_EQ(timeout, 30);
  EXPECT_EQ(autodial, 1);
  EXPECT_STREQ(name, "");
}

TEST_F(Settings, changing_the_agents_folder_closes_the_agent_between_two_messages) {
  ASSERT_NE(CSafClient::CreateAgent("Moving"), nullptr);
  const std::string target = Path("elsewhere");
  m_ui->m_messages.clear();
  ASSERT_TRUE(App().ChangeAgentsFolder(target));
  std::erase(m_ui->m_messages, WM_HV_STATISTICS);  // saving the agent counts its index
  EXPECT_EQ(m_ui->m_messages,
            (std::vector<UINT>{WM_HV_AGENTS_FOLDER_CHANGING, WM_HV_AGENTS_FOLDER_CHANGED}));
  EXPECT_EQ(CAgentManager::Instance().Agent(), nullptr);
  // The agent was saved in the old folder before the change.
  EXPECT_TRUE(hv::fs::Exists(Path("Moving.hvx")));
  EXPECT_EQ(App().m_strAgentsFolder, target);
  EXPECT_EQ(App().m_strCacheFolder, target);
  EngineApp& again = Restart();
  EXPECT_EQ(again.m_strAgentsFolder, target);
  EXPECT_EQ(again.m_strCacheFolder, target);
}

TEST_F(Settings, unusable_agents_folder_is_refused_without_messages) {
  m_ui->m_messages.clear();
  EXPECT_FALSE(App().ChangeAgentsFolder(Path("no/such/folder")));
  EXPECT_TRUE(m_ui->m_messages.empty());
  EXPECT_EQ(App().m_strAgentsFolder, m_dir);
  EXPECT_FALSE(hv::reg::KeyExists(kBase + "\\Agents"));
}

TEST_F(Settings, program_folder_is_recorded_once) {
  EXPECT_EQ(EnsureProgramFolder("/opt/harvion/bin"), 1);
  EXPECT_EQ(EnsureProgramFolder("/elsewhere"), 1);
  std::string folder;
  ASSERT_TRUE(hv::reg::ReadString(kBase, "", folder));
  EXPECT_EQ(folder, "/opt/harvion/bin");
}

TEST_F(Settings, named_settings_are_validated_before_anything_is_written) {
  EXPECT_NE(CEngineSettings::Change("threads", "64").find("1 to 63"), std::string::npos);
  EXPECT_NE(CEngineSettings::Change("threads", "0").find("1 to 63"), std::string::npos);
  EXPECT_NE(CEngineSettings::Change("threads", "4x"), "");
  EXPECT_NE(CEngineSettings::Change("proxy-port", "70000"), "");
  EXPECT_NE(CEngineSettings::Change("max-page-size", "0"), "");
  EXPECT_NE(CEngineSettings::Change("use-proxy", "maybe"), "");
  EXPECT_NE(CEngineSettings::Change("keep-alive", "sometimes"), "");
  EXPECT_NE(CEngineSettings::Change("agents-folder", "relative/path"), "");
  EXPECT_NE(CEngineSettings::Change("cache-folder", "/tmp"), "");
  EXPECT_NE(CEngineSettings::Change("nonsense", "1"), "");
  EXPECT_FALSE(hv::reg::KeyExists(kBase + "\\Connections"));
  EXPECT_FALSE(hv::reg::KeyExists(kBase + "\\Proxy"));

  EXPECT_EQ(CEngineSettings::Change("threads", "63"), "");
  EXPECT_EQ(CEngineSettings::Change("use-proxy", "on"), "");
  std::map<std::string, std::pair<std::string, bool>> shown;
  for (const auto& item : CEngineSettings::List()) shown[item.name] = {item.value, item.stored};
  EXPECT_EQ(shown["threads"], std::make_pair(std::string("63"), true));
  EXPECT_EQ(shown["timeout"], std::make_pair(std::string("30"), true));  // written with the threads
  EXPECT_EQ(shown["use-proxy"], std::make_pair(std::string("on"), true));
  EXPECT_EQ(shown["user-agent"], std::make_pair(std::string("Harvion/2.0"), false));
  EXPECT_EQ(shown["keep-alive"], std::make_pair(std::string("off"), false));
  EXPECT_EQ(CEngineSettings::Change("keep-alive", "on"), "");
  EXPECT_TRUE(Restart().m_bKeepAlive);
}

TEST_F(Settings, a_change_keeps_what_another_process_stored_meanwhile) {
  struct Case {
    const char* setting;
    const char* value;
    std::string key;        // where the setting is stored
    const char* name;       // under which name
    const char* stored;     // what the change stores
    const char* otherName;  // the value the other process writes
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
    EngineApp::Instance().InitInstance();
    ASSERT_TRUE(OtherProcess([&] { return hv::reg::WriteDWord(c.key, c.otherName, c.otherValue); }));
    ASSERT_EQ(CEngineSettings::Change(c.setting, c.value), "");
    EXPECT_EQ(Stored(c.key, c.name), c.stored);
    if (std::string(c.name) != c.otherName) {
      EXPECT_EQ(Stored(c.key, c.otherName), std::to_string(c.otherValue));
    }
  }
}

TEST_F(Settings, a_settings_page_writes_only_the_values_its_user_changed) {
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

TEST_F(Settings, a_ca_file_is_taken_only_when_it_holds_certificates) {
  hvtest::TestCertificates certificates(Path("certificates"));
  if (hvtest::TestCertificates::Program().empty()) GTEST_SKIP() << "no openssl command";
  ASSERT_TRUE(certificates.Made()) << certificates.Messages();
  ASSERT_TRUE(hvtest::WriteText(Path("plain.pem"), "no certificate here\n"));
  for (const std::string& refused : {std::string("relative.pem"), Path("missing.pem"), Path("plain.pem"), m_dir})
    EXPECT_NE(CEngineSettings::Change("ca-file", refused), "") << refused;
  EXPECT_FALSE(hv::reg::KeyExists(kBase + "\\Connections"));
  EXPECT_EQ(CEngineSettings::Change("ca-file", certificates.CaFile()), "");
  EXPECT_EQ(Restart().GetRequestSettings().caFile, certificates.CaFile());
  EXPECT_EQ(CEngineSettings::Change("ca-file", ""), "");
  EXPECT_EQ(Restart().GetRequestSettings().caFile, "");
}

}  // namespace
