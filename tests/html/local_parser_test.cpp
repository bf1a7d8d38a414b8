// Importing the links of a local file (a bookmark file) as web locations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/cache/cache.h"
#include "harvion/agent_files.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "resources/resources.h"
#include "support/test_home.h"

namespace {

class ImportTest : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_agent = CSafClient::CreateAgent("Marks");
    ASSERT_NE(m_agent, nullptr);
  }

  // Name and address of each item under the agent.
  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    CAgentAnchor* agent = CAgentManager::Instance().Agent();
    for (int i = 0; i < agent->GetChildCount(); ++i)
      items.push_back(agent->GetChild(i)->m_strName + " <" + agent->GetChild(i)->GetPageUrl() + ">");
    return items;
  }

  void Write(const std::string& name, const std::string& text) const {
    WriteFile(Path(name), std::vector<std::uint8_t>(text.begin(), text.end()));
  }

  CSafNode* m_agent = nullptr;
};

TEST_F(ImportTest, HttpLinksBecomeNamedLocations) {
  Write("bookmarks.html",
        "<!DOCTYPE bookmarks>\n<TITLE>Bookmarks</TITLE><DL>\n"
        "<DT><A HREF=\"http://h/\" ADD_DATE=\"1\">Home</A>\n"
        "<DT><A HREF=\"http://g/\"></A>\n"
        "<DT><A HREF=\"ftp://h/\">Files</A>\n"
        "<DT><H3>Folder</H3><DL><DT><A HREF=\" http://k/ \">  Caf&eacute;\n corner </A></DL>\n"
        "<DT><A NAME=x>no address</A><A HREF=\"http://unclosed/\">unclosed\n");
  EXPECT_EQ(CSafClient::ImportLocalFile(m_agent, Path("bookmarks.html").c_str()), 3);
  EXPECT_EQ(Items(), (std::vector<std::string>{"Home <http://h/>", "http://g/ <http://g/>",
                                               "Caf\xc3\xa9 corner <http://k/>"}));
}

TEST_F(ImportTest, UnreadableFileIsReported) {
  std::vector<std::string> shown;
  const MessageSink previous =
      SetMessageSink([&](const std::string& text, const std::string&, HWND) { shown.push_back(text); });
  EXPECT_EQ(CSafClient::ImportLocalFile(m_agent, Path("missing.html").c_str()), -1);
  EXPECT_EQ(CSafClient::ImportLocalFile(m_agent, m_dir.c_str()), -1);  // a folder
  EXPECT_EQ(CSafClient::ImportLocalFile(m_agent, nullptr), -1);
  SetMessageSink(previous);
  EXPECT_EQ(shown, std::vector<std::string>(3, hv::res::LoadString(hv::res::IDS_NO_LOCAL_FILE)));
  EXPECT_TRUE(Items().empty());
}

TEST_F(ImportTest, OnlyAbsoluteWebAddressesBecomeLocations) {
  // A bare name would find the stored page of that file name.
  CCache* cache = CAgentManager::Instance().Cache();
  cache->AddKey("3S000001.html", cache->FindOrCreate("http://stored/"));
  std::string page;
  for (const char* href : {"rel.html", "3S000001.html", "/abs/path.html", "http:rel.html", "http:///x", "http://",
                           "https:rel.html", "https:///x", "https://", "httpx://h/", "HTTP://Upper.example/",
                           "HTTPS://Upper.example/", "mailto:me@h", "http://me@:80/", "#top", "javascript:go()"})
    page += std::string("<A HREF=\"") + href + "\">" + href + "</A>\n";
  Write("links.html", page);
  HvImportCounts counts;
  EXPECT_EQ(ImportLocalFileCounted(m_agent, Path("links.html").c_str(), counts), 2);
  // Each link passed over is counted by why.
  EXPECT_EQ(counts.relative, 4);
  EXPECT_EQ(counts.noHost, 7);
  EXPECT_EQ(counts.otherScheme, 3);
  EXPECT_EQ(Items(), (std::vector<std::string>{"HTTP://Upper.example/ <HTTP://Upper.example/>",
                                               "HTTPS://Upper.example/ <HTTPS://Upper.example/>"}));
}

// Links past the cache's key limit are counted, not made locations.
TEST_F(ImportTest, LinksPastTheKeyLimitAreCountedAsRefused) {
  CCache* cache = CAgentManager::Instance().Cache();
  cache->SetKeyLimit(cache->KeyCount() + 4);
  std::string page;
  for (int i = 0; i < 12; ++i) page += "<A HREF=\"http://h/" + std::to_string(i) + "\">x</A>\n";
  Write("many.html", page);
  HvImportCounts counts;
  EXPECT_EQ(ImportLocalFileCounted(m_agent, Path("many.html").c_str(), counts), 5);
  EXPECT_EQ(counts.imported, 5);
  EXPECT_EQ(counts.refused, 7);
}

}  // namespace
