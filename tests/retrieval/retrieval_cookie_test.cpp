// A run carries the cookies a server set to the pages it asks for next, and
// an odd answer fails (or cuts short) its page, not the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "harvion/cache_view.h"
#include "support/script_server.h"
#include "support/test_home.h"

namespace {

using hv::test::ScriptServer;

bool RunEnded(const std::vector<std::string>& log) {
  return std::find(log.begin(), log.end(), "Progress 2") != log.end();
}

class RetrievalAnswers : public TestHome {
 protected:
  // Runs a new agent with one location at path on the server, all levels.
  void RunOver(ScriptServer& server, const std::string& path) {
    CSafNode* agent = CSafClient::CreateAgent("Answers");
    ASSERT_NE(agent, nullptr);
    CSafNode* location = CSafClient::CreateHTMLNode(agent, "Start", server.Url(path).c_str(), 0);
    ASSERT_NE(location, nullptr);
    ASSERT_TRUE(location->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(2, 0, 127, 2, 0, 0, 0)));
    ASSERT_EQ(agent->Run(), 1);
    ASSERT_TRUE(m_ui->WaitUntil(RunEnded, std::chrono::seconds(30)));
  }
};

TEST_F(RetrievalAnswers, a_cookie_set_by_one_page_goes_with_the_next_request) {
  // Every connection gets the same answer: a page that sets a cookie and
  // links to a second page.
  ScriptServer server({ScriptServer::ReadRequest(),
                       ScriptServer::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"
                                          "Set-Cookie: visit=42; Path=/\r\n\r\n"
                                          "<a href=\"/next.html\">next</a>"),
                       ScriptServer::Close()});
  RunOver(server, "/first.html");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
  EXPECT_NE(requests[1].find("GET /next.html HTTP/1.0\r\n"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nCookie: visit=42\r\n"), std::string::npos) << requests[1];
}

TEST_F(RetrievalAnswers, a_broken_answer_fails_its_page_and_the_run_ends) {
  struct Case {
    const char* name;
    ScriptServer::Script script;
    int state;  // of the page's record afterwards
  };
  const std::vector<Case> cases = {
      {"closed at once", {ScriptServer::ReadRequest(), ScriptServer::Close()}, 0},
      {"no status line",
       {ScriptServer::ReadRequest(), ScriptServer::Send("garbage\r\n\r\n<p>x</p>"), ScriptServer::Close()},
       0},  // no answer to take a page from
      {"reset mid-page",
       {ScriptServer::ReadRequest(), ScriptServer::Send("HTTP/1.0 200 OK\r\n\r\n<p>"), ScriptServer::Reset()},
       2},  // what arrived is kept, marked as cut short
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    ScriptServer server(c.script);
    RunOver(server, "/page.html");
    EXPECT_EQ(server.Connections(), 1);
    const std::vector<HvCacheRecord> records = GetCacheRecords();
    const auto page = std::find_if(records.begin(), records.end(),
                                   [&](const HvCacheRecord& r) { return r.address == server.Url("/page.html"); });
    ASSERT_NE(page, records.end());
    EXPECT_EQ(page->state, c.state);
  }
}

}  // namespace
