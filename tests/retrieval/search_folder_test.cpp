// Search folders: the search text in each engine's template, one run that
// asks every engine, and the templates back in place afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "engine/agent/base_node.h"
#include "engine/agent/html_anchor.h"
#include "engine/agent/search_category_anchor.h"
#include "engine/settings/named_array.h"
#include "engine/settings/search_engine_list.h"
#include "engine/settings/three_string_entry.h"
#include "support/script_server.h"
#include "support/test_home.h"

namespace {

using hv::test::ScriptServer;

TEST(SearchUrl, the_text_replaces_the_first_key_as_a_query_value) {
  struct Case {
    const char* urlTemplate;
    const char* text;
    const char* url;
  };
  const Case cases[] = {
      {"http://s/find?q=%KEY&n=10", "two+words", "http://s/find?q=two+words&n=10"},
      {"http://s/find?q=%KEY", "a b", "http://s/find?q=a+b"},
      {"http://s/fixed", "anything", "http://s/fixed"},
      {"http://s/?a=%KEY&b=%KEY", "x", "http://s/?a=x&b=%KEY"},
      {"http://s/?q=%KEY", "R&D #1 100%", "http://s/?q=R%26D+%231+100%25"},
      {"http://s/?q=%KEY", "caf\xE9\r\nX", "http://s/?q=caf%E9%0D%0AX"},
      {"http://s/?q=%KEY", "", "http://s/?q="},
  };
  for (const Case& c : cases) EXPECT_EQ(CSearchCategoryAnchor::SearchUrl(c.urlTemplate, c.text), c.url) << c.text;
}

class SearchFolder : public TestHome {};

TEST_F(SearchFolder, a_run_asks_every_engine_and_puts_the_templates_back) {
  ScriptServer server({ScriptServer::ReadRequest(),
                       ScriptServer::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>found</p>"),
                       ScriptServer::Close()});
  CNamedArray engines;
  engines.Add(std::make_unique<C3StringEntry>("First", server.Url("/find"), "q=%KEY&n=1"));
  engines.Add(std::make_unique<C3StringEntry>("Plain", server.Url("/plain"), "all"));
  ASSERT_TRUE(hv::settings::SaveSearchEngines(engines));

  CSafNode* agent = CSafClient::CreateAgent("Searches");
  ASSERT_NE(agent, nullptr);
  CSafNode* node = CSafClient::CreateSearchCategoryNode(agent, "wild flowers", 0);
  ASSERT_NE(node, nullptr);
  auto* folder = static_cast<CSearchCategoryAnchor*>(static_cast<CBaseNode*>(node)->m_pAnchor);
  ASSERT_EQ(folder->GetChildCount(), 2);
  const std::vector<std::string> templates = {server.Url("/find?q=%KEY&n=1"), server.Url("/plain?all")};
  for (int i = 0; i < 2; ++i) EXPECT_EQ(folder->GetChild(i)->GetPageUrl(), templates[i]);

  ASSERT_EQ(node->Run(), 1);
  ASSERT_TRUE(m_ui->WaitUntil(
      [](const std::vector<std::string>& log) { return std::find(log.begin(), log.end(), "Progress 2") != log.end(); },
      std::chrono::seconds(20)));
  std::vector<std::string> lines;
  for (const std::string& request : server.Requests()) lines.push_back(request.substr(0, request.find("\r\n")));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"GET /find?q=wild+flowers&n=1 HTTP/1.0", "GET /plain?all HTTP/1.0"}));
  EXPECT_EQ(folder->GetDisplayName(), "wild+flowers");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(folder->GetChild(i)->GetPageUrl(), templates[i]);
}

TEST_F(SearchFolder, https_engines_get_a_location_and_other_schemes_none) {
  CNamedArray engines;
  engines.Add(std::make_unique<C3StringEntry>("Secure", "https://find.example/s", "q=%KEY"));
  engines.Add(std::make_unique<C3StringEntry>("Files", "ftp://find.example/s", "q=%KEY"));
  ASSERT_TRUE(hv::settings::SaveSearchEngines(engines));
  CSafNode* agent = CSafClient::CreateAgent("Secure");
  ASSERT_NE(agent, nullptr);
  CSafNode* node = CSafClient::CreateSearchCategoryNode(agent, "x", 0);
  ASSERT_NE(node, nullptr);
  auto* folder = static_cast<CSearchCategoryAnchor*>(static_cast<CBaseNode*>(node)->m_pAnchor);
  ASSERT_EQ(folder->GetChildCount(), 1);
  EXPECT_EQ(folder->GetChild(0)->GetPageUrl(), "https://find.example/s?q=%KEY");
}

TEST_F(SearchFolder, an_empty_search_asks_nothing) {
  CSafNode* agent = CSafClient::CreateAgent("Empty");
  ASSERT_NE(agent, nullptr);
  CSafNode* node = CSafClient::CreateSearchCategoryNode(agent, "", 0);
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->Run(), 1);
  ASSERT_TRUE(m_ui->WaitUntil(
      [](const std::vector<std::string>& log) { return std::find(log.begin(), log.end(), "Progress 2") != log.end(); },
      std::chrono::seconds(20)));
  const std::vector<std::string> log = m_ui->LogCopy();
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.find("Started") != std::string::npos; }),
            1)
      << "only the folder itself";
}

}  // namespace
