// Where an item's requisites may come from: inherited like its other
// settings, kept beside the agent file (whose bytes do not change), and read
// back from a file that may hold anything.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/base_node.h"
#include "engine/agent/item_extras.h"
#include "harvion/exports.h"
#include "platform/files/file_system.h"
#include "support/test_home.h"

namespace {

constexpr unsigned long kAny = CUINode::rqAnyServer;
constexpr unsigned long kStrategy = CUINode::rqStrategy;

class ItemExtras : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_agent = CSafClient::CreateAgent("Extras");
    ASSERT_NE(m_agent, nullptr);
  }
  static CAgentAnchor* Agent() { return CAgentManager::Instance().Agent(); }
  static CAnchor* AnchorOf(CSafNode* node) { return static_cast<CBaseNode*>(node)->m_pAnchor; }
  static void OwnSettings(CSafNode* node) {
    ASSERT_EQ(node->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(2, 1, 1, 2, 1, 0, 0)), 1);
  }
  std::string ExtrasPath() const { return Path("Extras/" + hv::item_extras::FileName()); }
  void Reopen() {
    ASSERT_EQ(CAgentManager::Instance().Save(), true);
    CAgentManager::Instance().Close(false);
    ASSERT_TRUE(CAgentManager::Instance().Open("Extras"));
    m_agent = Agent()->m_pNode;
  }
  // The choice in force of every item, parents first, as "name=0" words.
  static std::string Choices(CAnchor* anchor) {
    std::string text = anchor->GetPageUrl() + "=" + std::to_string(anchor->m_pNode->GetValue(itemRequisites));
    for (int i = 0; i < anchor->GetChildCount(); ++i) text += " " + Choices(anchor->GetChild(i));
    return text;
  }

  CSafNode* m_agent = nullptr;
};

TEST_F(ItemExtras, choice_is_inherited_and_kept_when_settings_become_the_items_own) {
  CSafNode* folder = CSafClient::CreateCategoryNode(m_agent, "F", 0);
  CSafNode* location = CSafClient::CreateHTMLNode(folder, "L", "http://a.example/", 0);
  EXPECT_EQ(location->GetValue(itemRequisites), kStrategy);
  ASSERT_EQ(m_agent->SetValue(itemRequisites, kAny), 1);
  EXPECT_EQ(location->GetValue(itemRequisites), kAny);
  // An inheriting item follows its parent: a choice of its own is refused.
  EXPECT_EQ(location->SetValue(itemRequisites, kStrategy), 0);
  OwnSettings(location);
  EXPECT_EQ(location->GetValue(itemRequisites), kAny);
  ASSERT_EQ(m_agent->SetValue(itemRequisites, kStrategy), 1);
  EXPECT_EQ(folder->GetValue(itemRequisites), kStrategy);
  EXPECT_EQ(location->GetValue(itemRequisites), kAny);
  EXPECT_EQ(location->SetValue(itemRequisites, 2), 0);
  EXPECT_EQ(location->GetValue(itemRequisites), kAny);
  Agent()->m_bModified = 0;
  EXPECT_EQ(location->SetValue(itemRequisites, kAny), 1);
  EXPECT_EQ(Agent()->m_bModified, 0);  // no change, nothing to save
}

// The agent file is the same byte for byte whatever the items choose; the
// choices come back from beside it, also for items of equal paths, after a
// rename and after the cache is cleared.
TEST_F(ItemExtras, choices_survive_reopening_without_touching_the_agent_file) {
  CSafNode* odd = CSafClient::CreateCategoryNode(m_agent, "tab\there 100%\nnext", 0);
  CSafNode* twin1 = CSafClient::CreateHTMLNode(odd, "1", "http://a.example/", 0);
  CSafNode* twin2 = CSafClient::CreateHTMLNode(odd, "2", "http://a.example/", 0);
  CSafNode* inner = CSafClient::CreateHTMLNode(twin2, "3", "http://b.example/x", 0);
  for (CSafNode* node : {twin1, twin2, inner}) OwnSettings(node);
  ASSERT_EQ(CAgentManager::Instance().Save(), true);
  const auto plain = ReadFile(Path("Extras.hvx"));
  EXPECT_FALSE(hv::fs::Exists(ExtrasPath()));  // nothing to keep

  for (CSafNode* node : {m_agent, twin2, inner}) ASSERT_EQ(node->SetValue(itemRequisites, kAny), 1);
  const std::string wanted = "Extras=1 tab\there 100%\nnext=1 http://a.example/=0 http://a.example/=1 "
                             "http://b.example/x=1";
  EXPECT_EQ(Choices(Agent()), wanted);
  Reopen();
  EXPECT_EQ(ReadFile(Path("Extras.hvx")), plain);
  EXPECT_EQ(Choices(Agent()), wanted);

  CSafClient::ClearCache();
  Reopen();
  EXPECT_EQ(Choices(Agent()), wanted);
  ASSERT_EQ(m_agent->SetData(itemName, "Renamed", 0), 1);
  ASSERT_EQ(CAgentManager::Instance().Save(), true);
  CAgentManager::Instance().Close(false);
  ASSERT_TRUE(CAgentManager::Instance().Open("Renamed"));
  EXPECT_EQ(Choices(Agent()), "Renamed=1 tab\there 100%\nnext=1 http://a.example/=0 http://a.example/=1 "
                              "http://b.example/x=1");
}

TEST_F(ItemExtras, a_file_of_any_content_gives_only_what_it_names_clearly) {
  CSafNode* location = CSafClient::CreateHTMLNode(m_agent, "L", "http://a.example/", 0);
  CSafNode* inheriting = CSafClient::CreateHTMLNode(m_agent, "I", "http://i.example/", 0);
  OwnSettings(location);
  struct Case {
    const char* what;
    std::string text;
    const char* wanted;
  } cases[] = {
      {"the location", "harvion item extras 1\nrequisites\tany-server\thttp://a.example/\n",
       "Extras=0 http://a.example/=1 http://i.example/=0"},
      {"the agent, without a last LF", "harvion item extras 1\nrequisites\tany-server",
       "Extras=1 http://a.example/=0 http://i.example/=1"},
      {"items of one path in order", "harvion item extras 1\nrequisites\tstrategy\nrequisites\tany-server\n",
       "Extras=0 http://a.example/=0 http://i.example/=0"},
      {"escaped", "harvion item extras 1\nrequisites\tany-server\thttp:%2F%2fa.example%2F\n",
       "Extras=0 http://a.example/=1 http://i.example/=0"},
      {"another format", "harvion item extras 2\nrequisites\tany-server\n", "Extras=0 http://a.example/=0 "
                                                                              "http://i.example/=0"},
      {"no header", "requisites\tany-server\n", "Extras=0 http://a.example/=0 http://i.example/=0"},
      {"CR LF lines", "harvion item extras 1\r\nrequisites\tany-server\thttp://a.example/\r\n",
       "Extras=0 http://a.example/=0 http://i.example/=0"},
      {"cut escapes, unknown words, strangers, an inheriting item",
       std::string("harvion item extras 1\nrequisites\tany-server\thttp://a.example/%2\n"
                   "requisites\tany-server\thttp://a.example/%zz\nrequisites\tall\nfonts\tany-server\n"
                   "requisites\tany-server\thttp://a.example/\thttp://deeper/\n"
                   "requisites\tany-server\thttp://i.example/\n\n\t\t\n") +
           std::string("\0\xff", 2),
       "Extras=0 http://a.example/=0 http://i.example/=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (CAnchor* anchor : {static_cast<CAnchor*>(Agent()), AnchorOf(location), AnchorOf(inheriting)})
      anchor->m_nRequisites = 0;
    hv::item_extras::Apply(*Agent(), c.text);
    EXPECT_EQ(Choices(Agent()), c.wanted);
  }
}

TEST_F(ItemExtras, only_a_plain_file_of_sensible_size_is_read) {
  ASSERT_EQ(m_agent->SetValue(itemRequisites, kAny), 1);
  const std::string line = "harvion item extras 1\nrequisites\tany-server\n";
  ASSERT_EQ(::mkfifo(ExtrasPath().c_str(), 0600), 0);
  hv::item_extras::Load(*Agent(), Path("Extras"));  // returns at once
  hv::fs::RemoveFile(ExtrasPath());
  Agent()->m_nRequisites = 0;
  std::string big = line + std::string(5u << 20, '\n');
  WriteFile(ExtrasPath(), std::vector<std::uint8_t>(big.begin(), big.end()));
  hv::item_extras::Load(*Agent(), Path("Extras"));
  EXPECT_EQ(Agent()->m_nRequisites, 0);
  WriteFile(ExtrasPath(), std::vector<std::uint8_t>(line.begin(), line.end()));
  hv::item_extras::Load(*Agent(), Path("Extras"));
  EXPECT_EQ(Agent()->m_nRequisites, 1);
}

}  // namespace
