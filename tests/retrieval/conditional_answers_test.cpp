// A page asked for twice: what makes a copy, and what the second request
// asks the server with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "engine/agent/agent_manager.h"
#include "harvion/cache_view.h"
#include "support/script_server.h"
#include "support/test_home.h"

namespace {

using hv::test::ScriptServer;

constexpr const char* kDate = "Tue, 01 Jan 2002 00:00:00 GMT";

ScriptServer::Script Answer(const std::string& answer) {
  return {ScriptServer::ReadRequest(), ScriptServer::Send(answer), ScriptServer::Close()};
}

class ConditionalAnswers : public TestHome {
 protected:
  // Runs an agent with one location at /page twice (the same agent), with
  // the load detail; the record of the page after the second run.
  HvCacheRecord RunTwice(ScriptServer& server, int loadDetail) {
    CSafNode* agent = CSafClient::CreateAgent("Twice");
    EXPECT_NE(agent, nullptr);
    if (!agent) return {};
    CSafNode* location = CSafClient::CreateHTMLNode(agent, "Page", server.Url("/page").c_str(), 0);
    EXPECT_NE(location, nullptr);
    if (!location) return {};
    EXPECT_TRUE(location->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(loadDetail, 0, 0, loadDetail, 0, 0, 0)));
    for (int run = 1; run <= 2; ++run) {
      EXPECT_EQ(agent->Run(), 1);
      EXPECT_TRUE(m_ui->WaitUntil(
          [run](const std::vector<std::string>& log) { return std::count(log.begin(), log.end(), "Progress 2") >= run; },
          std::chrono::seconds(30)));
    }
    for (const HvCacheRecord& record : GetCacheRecords())
      if (record.address == server.Url("/page")) return record;
    ADD_FAILURE() << "no record of the page";
    return {};
  }

  bool FileThere(const HvCacheRecord& record) const {
    const std::string path = CAgentManager::Instance().AgentFolderPath("Twice") + "/" + record.localFile;
    return !record.localFile.empty() && ::access(path.c_str(), F_OK) == 0;
  }
};

// An answer without a body never becomes the page's copy, not even the
// empty file made for it, so the next request asks for the page whole.
TEST_F(ConditionalAnswers, answer_without_a_body_makes_no_copy) {
  const std::string dated = std::string("Last-Modified: ") + kDate + "\r\n";
  const struct {
    const char* name;
    std::string answer;
  } cases[] = {
      {"server error", "HTTP/1.0 500 Internal Server Error\r\n" + dated + "\r\n"},
      {"not modified, unasked", "HTTP/1.0 304 Not Modified\r\n" + dated + "\r\n"},
      {"proxy authentication", "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n"},
      {"no status line", "garbage\r\n\r\n<p>x</p>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    ScriptServer server(Answer(c.answer));
    const HvCacheRecord page = RunTwice(server, 2);
    EXPECT_EQ(page.state, 0);
    EXPECT_FALSE(FileThere(page)) << "the empty file made for the page is left";
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].find("If-Modified-Since:"), std::string::npos) << requests[1];
  }
}

// The second request names the date the server gave, which many servers
// need exactly; a server that answers whole anyway leaves an unchanged
// page as it was, title included. A file refused by its type is asked for
// the same way, so an unchanged one is not sent again.
TEST_F(ConditionalAnswers, second_request_carries_the_servers_date) {
  const std::string dated = std::string("Last-Modified: ") + kDate + "\r\n";
  const struct {
    const char* name;
    int loadDetail;
    std::string answer;
    int state;
    const char* title;
  } cases[] = {
      {"page", 2, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n" + dated + "\r\n<title>Kept</title><p>text</p>", 3,
       "Kept"},
      {"image under text only", 1, "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n" + dated + "\r\nGIF89a", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    ScriptServer server(Answer(c.answer));
    const HvCacheRecord page = RunTwice(server, c.loadDetail);
    EXPECT_EQ(page.state, c.state);
    EXPECT_EQ(page.title, c.title);
    EXPECT_EQ(FileThere(page), c.state == 3);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find(std::string("\r\nIf-Modified-Since: ") + kDate + "\r\n"), std::string::npos)
        << requests[1];
  }
}

}  // namespace
