// A location that asks again (after a redirection or a 401) while its
// earlier request is still ending must not be called by that request once
// the location is gone. The server holds the earlier connection open until
// the location has been removed; run under ASan, a stale call is a report.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "harvion/harvion.h"
#include "support/script_server.h"
#include "support/test_home.h"

namespace {

using hv::test::ScriptServer;
using namespace std::chrono_literals;

constexpr auto kLimit = 30s;

bool RunEnded(const std::vector<std::string>& log) {
  return std::find(log.begin(), log.end(), "Progress 2") != log.end();
}

ScriptServer::Script Answer(const std::string& header, const std::string& body = {}) {
  return {ScriptServer::ReadRequest(), ScriptServer::Send("HTTP/1.0 " + header + "\r\n\r\n" + body),
          ScriptServer::Close()};
}

// The answer, then the connection stays open until the test releases it.
ScriptServer::Script HeldAnswer(const std::string& header) {
  return {ScriptServer::ReadRequest(), ScriptServer::Send("HTTP/1.0 " + header + "\r\n\r\n"),
          ScriptServer::WaitRelease(), ScriptServer::Close()};
}

class RequestLifetime : public TestHome {};

TEST_F(RequestLifetime, an_earlier_request_ending_late_never_calls_a_location_that_is_gone) {
  struct Case {
    const char* name;
    // first: where the location points; second: where the first sends it.
    std::function<ScriptServer::Script(const ScriptServer& second)> first;
    ScriptServer::Script second;
    bool linked;             // the first server's page is a link of the location's page
    const char* removeAfter;  // the log entry after which the location is removed; null: never
  };
  const ScriptServer::Script page = Answer("200 OK\r\nContent-Type: text/html", "<p>here</p>");
  const auto redirect = [](const ScriptServer& to) { return HeldAnswer("302 Found\r\nLocation: " + to.Url("/b")); };
  const std::vector<Case> cases = {
      {"redirected, removed once loaded", redirect, page, false, "Loaded Start"},
      {"removed while the redirection is asked", redirect,
       {ScriptServer::ReadRequest(), ScriptServer::WaitRelease()}, false, "Reload Start"},
      {"asked again after a 401, removed once loaded",
       [](const ScriptServer&) { return HeldAnswer("401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\""); },
       page, false, "Loaded Start"},
      // No user action: a link redirected to a type the strategy refuses
      // removes its own location.
      {"link redirected to a refused type", redirect, Answer("200 OK\r\nContent-Type: image/gif", "GIF89a"), true,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    ScriptServer second(c.second);
    ScriptServer first(c.first(second));
    std::unique_ptr<ScriptServer> linking;
    std::string start = first.Url("/a");
    if (c.linked) {
      linking = std::make_unique<ScriptServer>(
          Answer("200 OK\r\nContent-Type: text/html", "<a href=\"" + start + "\">a</a>"));
      start = linking->Url("/");
    }
    CSafNode* agent = CSafClient::CreateAgent("Lifetime");
    ASSERT_NE(agent, nullptr);
    CSafNode* location = CSafClient::CreateHTMLNode(agent, "Start", start.c_str(), 0);
    ASSERT_NE(location, nullptr);
    ASSERT_TRUE(location->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(1, 0, 127, 1, 0, 0, 0)));
    ASSERT_EQ(agent->Run(), 1);
    if (c.removeAfter) {
      ASSERT_TRUE(m_ui->WaitForLog(c.removeAfter, 1, kLimit));
      location->Remove(0);
    } else {
      ASSERT_TRUE(m_ui->WaitUntil(
          [](const std::vector<std::string>& log) {
            return std::any_of(log.begin(), log.end(), [](const std::string& e) { return e.rfind("Detach", 0) == 0; });
          },
          kLimit));
    }
    first.Release();
    second.Release();
    EXPECT_TRUE(m_ui->WaitUntil(RunEnded, kLimit));
  }
}

}  // namespace
