// A body that grows without end is cut where a limit says, as it arrives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "harvion/cache_view.h"
#include "harvion/settings.h"
#include "support/gzip_bytes.h"
#include "support/script_server.h"
#include "support/test_home.h"

namespace {

using hv::test::ScriptServer;

class OversizedBody : public TestHome {};

TEST_F(OversizedBody, endless_body_fails_its_page_at_the_limit) {
  const struct {
    const char* name;
    const char* pageLimit;  // kilobytes; empty: the default
    int agentLimit;         // kilobytes; 0: none
    const char* reason;
  } cases[] = {
      {"page size limit", "64", 0, "larger than the page size limit of 64 KB"},
      {"agent's size limit", "", 64, "the agent's size limit of 64 KB is reached"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (*c.pageLimit) {
      ASSERT_EQ(CEngineSettings::Change("max-page-size", c.pageLimit), "");
    }
    ScriptServer server({ScriptServer::ReadRequest(),
                         ScriptServer::SendForever("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>")});
    CSafNode* agent = CSafClient::CreateAgent("Endless");
    ASSERT_NE(agent, nullptr);
    CAgentManager::Instance().Agent()->m_nSizeLimit = c.agentLimit;
    CSafNode* location = CSafClient::CreateHTMLNode(agent, "Page", server.Url("/page").c_str(), 0);
    ASSERT_NE(location, nullptr);
    ASSERT_TRUE(location->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(2, 0, 0, 2, 0, 0, 0)));
    ASSERT_EQ(agent->Run(), 1);
    const auto ended = [](const std::vector<std::string>& log) {
      return std::find(log.begin(), log.end(), "Progress 2") != log.end() ||
             std::find(log.begin(), log.end(), "Progress 3") != log.end();
    };
    if (!m_ui->WaitUntil(ended, std::chrono::seconds(20))) {
      ADD_FAILURE() << "the body was read without end";
      CSafClient::HTTPShutdown();
      m_ui->WaitUntil(ended, std::chrono::seconds(20));
      continue;
    }
    const std::vector<HvCacheRecord> records = GetCacheRecords();
    const auto page = std::find_if(records.begin(), records.end(),
                                   [&](const HvCacheRecord& r) { return r.address == server.Url("/page"); });
    ASSERT_NE(page, records.end());
    EXPECT_EQ(page->state, 0);
    EXPECT_EQ(page->statusCode, 0);
    EXPECT_EQ(page->statusText, c.reason);
    const std::string file = CAgentManager::Instance().AgentFolderPath("Endless") + "/" + page->localFile;
    EXPECT_TRUE(page->localFile.empty() || ::access(file.c_str(), F_OK) != 0);
  }
}

TEST_F(OversizedBody, gzip_bomb_stops_at_the_page_limit_as_decoded) {
  // A megabyte that inflates to a gigabyte: a hundred members of ten
  // megabytes of zeros each.
  const std::string member = hv::test::Gzip(std::string(10 << 20, '\0'));
  std::string bomb;
  for (int i = 0; i < 100; ++i) bomb += member;
  ASSERT_EQ(CEngineSettings::Change("max-page-size", "64"), "");
  ScriptServer server({ScriptServer::ReadRequest(),
                       ScriptServer::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n"
                                          "Content-Length: " + std::to_string(bomb.size()) + "\r\n\r\n" + bomb),
                       ScriptServer::Close()});
  CSafNode* agent = CSafClient::CreateAgent("Bomb");
  ASSERT_NE(agent, nullptr);
  CSafNode* location = CSafClient::CreateHTMLNode(agent, "Page", server.Url("/page").c_str(), 0);
  ASSERT_NE(location, nullptr);
  ASSERT_TRUE(location->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(2, 0, 0, 2, 0, 0, 0)));
  ASSERT_EQ(agent->Run(), 1);
  ASSERT_TRUE(m_ui->WaitUntil(
      [](const std::vector<std::string>& log) {
        return std::find(log.begin(), log.end(), "Progress 2") != log.end() ||
               std::find(log.begin(), log.end(), "Progress 3") != log.end();
      },
      std::chrono::seconds(20)));
  const std::vector<HvCacheRecord> records = GetCacheRecords();
  const auto page = std::find_if(records.begin(), records.end(),
                                 [&](const HvCacheRecord& r) { return r.address == server.Url("/page"); });
  ASSERT_NE(page, records.end());
  EXPECT_EQ(page->state, 0);
  EXPECT_EQ(page->statusText, "larger than the page size limit of 64 KB");
  const std::string file = CAgentManager::Instance().AgentFolderPath("Bomb") + "/" + page->localFile;
  EXPECT_TRUE(page->localFile.empty() || ::access(file.c_str(), F_OK) != 0);
}

}  // namespace
