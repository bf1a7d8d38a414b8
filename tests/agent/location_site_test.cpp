// A location compares a link with its own page: the same server, site or
// directory; the exported tests answer the same for the user interface.
#include <gtest/gtest.h>

#include "engine/agent/agent_manager.h"
#include "engine/agent/agent_anchor.h"
#include "engine/agent/html_anchor.h"
#include "support/test_home.h"

namespace {

class LocationSite : public TestHome {
 protected:
  CHTMLAnchor* Location(const char* url) {
    CSafNode* agent = CSafClient::CreateAgent("Sites");
    EXPECT_NE(CSafClient::CreateHTMLNode(agent, "", url, 0), nullptr);
    return dynamic_cast<CHTMLAnchor*>(CAgentManager::Instance().Agent()->m_children.back().get());
  }
};

TEST_F(LocationSite, location_compares_links_with_its_own_page) {
  CHTMLAnchor* loc = Location("http://www.example.com/dir/a.htm");
  ASSERT_NE(loc, nullptr);
  EXPECT_EQ(loc->SameServerAsLocation("http://WWW.Example.com:80/other.htm"), 1);
  EXPECT_EQ(loc->SameServerAsLocation("http://www.example.com:8080/dir/a.htm"), 0);
  EXPECT_EQ(loc->SameSiteAsLocation("http://ftp.example.com/x"), 1);
  EXPECT_EQ(loc->SameSiteAsLocation("http://www.sample.com/x"), 0);
  // The link lies in the page's directory or below it, never above.
  EXPECT_EQ(loc->SameDirectoryAsLocation("http://www.example.com/dir/b.htm"), 1);
  EXPECT_EQ(loc->SameDirectoryAsLocation("http://www.example.com/dir/sub/c.htm"), 1);
  EXPECT_EQ(loc->SameDirectoryAsLocation("http://www.example.com/top.htm"), 0);
  loc->m_pPage = nullptr;
  EXPECT_EQ(loc->SameServerAsLocation("http://www.example.com/"), 0);
  EXPECT_EQ(loc->SameSiteAsLocation("http://www.example.com/"), 0);
  EXPECT_EQ(loc->SameDirectoryAsLocation("http://www.example.com/"), 0);
}

TEST(ExportedSiteTests, answer_one_or_zero_and_survive_null_arguments) {
  EXPECT_EQ(CSafClient::SameServer("HTTP://Host:80/a", "http://host/b"), 1);
  EXPECT_EQ(CSafClient::SameSite("http://news.example.co.uk/", "http://www.example.co.uk/"), 1);
  EXPECT_EQ(CSafClient::SameDirectory("http://h/dir/a.htm", "http://h/dirx/b.htm"), 0);
  EXPECT_EQ(CSafClient::SameDirectory(nullptr, "http://h/"), 0);
  EXPECT_EQ(CSafClient::SameServer(nullptr, nullptr), 1);  // two empty server keys
}

}  // namespace
