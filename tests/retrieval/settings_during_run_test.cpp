// Settings changed while a run's transfers go on: every request is built
// from one whole version of them. Run under ThreadSanitizer too, where a
// worker reading a text a change is writing fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "engine/settings/engine_app.h"
#include "support/script_server.h"
#include "support/test_home.h"

namespace {

using hv::test::ScriptServer;

bool RunEnded(const std::vector<std::string>& log) {
  return std::find(log.begin(), log.end(), "Progress 2") != log.end();
}

class SettingsDuringTransfers : public TestHome {};

TEST_F(SettingsDuringTransfers, each_request_has_one_whole_version_of_the_settings) {
  std::string links;
  for (int i = 0; i < 40; ++i) links += "<a href=\"/p" + std::to_string(i) + ".html\">p</a>";
  ScriptServer server({ScriptServer::ReadRequest(),
                       ScriptServer::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + links),
                       ScriptServer::Close()});
  EngineApp& app = EngineApp::Instance();
  // The proxy is the server itself, so both ways reach it.
  ASSERT_TRUE(app.ChangeProxy({.useProxy = false, .server = "127.0.0.1", .port = server.Port()}));

  std::atomic<bool> running = true;
  std::thread changer([&] {
    for (int n = 0; running; ++n) {
      app.SetUserAgent(n % 2 ? "Changed/" + std::string(n % 7 + 1, 'x') : "");
      app.ChangeProxy({.useProxy = n % 3 == 0});
    }
  });
  CSafNode* agent = CSafClient::CreateAgent("Changing");
  ASSERT_NE(agent, nullptr);
  CSafNode* start = CSafClient::CreateHTMLNode(agent, "Start", server.Url("/start.html").c_str(), 0);
  ASSERT_NE(start, nullptr);
  ASSERT_TRUE(start->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(2, 0, 127, 2, 0, 0, 0)));
  const bool ran = agent->Run() == 1 && m_ui->WaitUntil(RunEnded, std::chrono::seconds(60));
  running = false;
  changer.join();
  ASSERT_TRUE(ran);

  const std::regex whole("GET (http://127\\.0\\.0\\.1:" + std::to_string(server.Port()) +
                         ")?/[a-z0-9.]+ HTTP/1\\.0\r\n(.*\r\n)*User-Agent: (Harvion/2\\.0|Changed/x+)\r\n(.*\r\n)*\r\n");
  const std::vector<std::string> requests = server.Requests();
  EXPECT_EQ(requests.size(), 41u);
  for (const std::string& request : requests) EXPECT_TRUE(std::regex_match(request, whole)) << request;
}

}  // namespace
