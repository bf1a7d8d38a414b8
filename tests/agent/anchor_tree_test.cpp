// The anchor tree: effective settings, schedules, names and the order in
// which nodes are told about removal.
#include <gtest/gtest.h>

#include <functional>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/base_node.h"
#include "engine/agent/category_anchor.h"
#include "engine/agent/html_anchor.h"
#include "engine/agent/load_info.h"
#include "engine/cache/cache.h"
#include "engine/settings/exception_entry.h"
#include "harvion/exports.h"
#include "support/test_home.h"

namespace {

class AnchorTree : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_agentNode = CSafClient::CreateAgent("Tree");
    ASSERT_NE(m_agentNode, nullptr);
  }
  static CAgentAnchor* Agent() { return CAgentManager::Instance().Agent(); }
  static CAnchor* AnchorOf(CSafNode* node) { return static_cast<CBaseNode*>(node)->m_pAnchor; }
  CSafNode* Location(CSafNode* parent, const char* name, const char* url) {
    return CSafClient::CreateHTMLNode(parent, name, url, 0);
  }
  // A page found by retrieval below the anchor.
  CHTMLAnchor* Page(CAnchor* parent, const std::string& url) {
    auto page = std::make_unique<CHTMLAnchor>();
    page->m_pPage = CAgentManager::Instance().Cache()->FindOrCreate(url);
    return static_cast<CHTMLAnchor*>(parent->InsertChild(std::move(page), 0));
  }

  CSafNode* m_agentNode = nullptr;
};

TEST_F(AnchorTree, negative_levels_mean_all_levels_within_a_site_and_six_elsewhere) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  loc->m_bUseParentSettings = 0;
  loc->m_nLinkLevels = -1;
  struct Case {
    int linkType;
    int levels;
  } cases[] = {{CUINode::ltWithinSite, 127}, {CUINode::ltWithinDirectory, 127}, {CUINode::ltInsideServer, 127},
               {CUINode::ltUnrestricted, 6},  {CUINode::ltOutsideSite, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.linkType);
    loc->m_nLinkType = c.linkType;
    const hv::LoadSettings s = loc->EffectiveSettings();
    EXPECT_EQ(s.levels, c.levels);
    EXPECT_EQ(s.effectiveLevels, -1);  // the stored value, before substitution
  }
}

TEST_F(AnchorTree, inherited_levels_shrink_by_the_parents_level_cost) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  loc->m_pNode->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(2, 1, 3, 2, 1, 0, 0));
  CHTMLAnchor* page = Page(loc, "http://a/b");
  CHTMLAnchor* deeper = Page(page, "http://a/c");
  EXPECT_EQ(page->EffectiveSettings().effectiveLevels, 2);
  EXPECT_EQ(deeper->EffectiveSettings().effectiveLevels, 1);
  EXPECT_EQ(deeper->EffectiveSettings().levels, 3);
  EXPECT_EQ(deeper->EffectiveSettings().inherit, 1);
  // A folder costs nothing: a location inside inherits the agent's levels.
  CAnchor* folder = AnchorOf(CSafClient::CreateCategoryNode(m_agentNode, "F", 0));
  CAnchor* inner = AnchorOf(Location(folder->m_pNode, "I", "http://b/"));
  EXPECT_EQ(inner->EffectiveSettings().effectiveLevels, 1);
}

TEST_F(AnchorTree, deleted_strategy_entry_falls_back_to_the_built_in_one) {
  Agent()->m_locations.Add(Agent()->m_locations.Duplicate(2));  // "Copy of Links within directory", index 5
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  loc->m_pNode->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(1, 2, 1, 1, 5, 0, 0));
  EXPECT_EQ(loc->m_strLocationName, "Copy of Links within directory");
  EXPECT_EQ(loc->EffectiveSettings().locationIndex, 5);
  Agent()->m_locations.RemoveItem(5);
  EXPECT_EQ(loc->EffectiveSettings().locationIndex, 2);
  EXPECT_EQ(loc->m_strLocationName, "");
}

TEST_F(AnchorTree, set_load_info_with_inherit_bit_changes_only_that_flag) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  loc->m_pNode->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(3, 4, 9, 3, 4, 0, 0));
  Agent()->m_bModified = 0;
  loc->m_pNode->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(0, 0, 0, 0, 0, 1, 0));
  EXPECT_EQ(loc->m_bUseParentSettings, 1);
  EXPECT_EQ(loc->m_nLinkLevels, 9);
  EXPECT_EQ(loc->m_nLinkType, 4);
  EXPECT_EQ(loc->m_nLoadDetail, 3);
  EXPECT_EQ(Agent()->m_bModified, 1);
  // Setting the same values again is no change.
  Agent()->m_bModified = 0;
  loc->m_pNode->SetValue(itemLoadInfo, loc->m_pNode->GetValue(itemLoadInfo));
  EXPECT_EQ(Agent()->m_bModified, 0);
}

TEST_F(AnchorTree, load_info_outside_the_lists_is_refused_and_changes_nothing) {
  CSafNode* node = Location(m_agentNode, "L", "http://a/");
  const unsigned long good = CSafClient::PackLoadInfo(1, 2, 3, 1, 2, 0, 0);
  struct Case {
    const char* what;
    unsigned long value;
    int accepted;
  } cases[] = {
      {"link type 5", CSafClient::PackLoadInfo(1, 5, 3, 1, 2, 0, 0), 0},
      {"link type 7", CSafClient::PackLoadInfo(1, 7, 3, 1, 2, 0, 0), 0},
      {"file-type entry past the list", CSafClient::PackLoadInfo(1, 2, 3, 4, 2, 0, 0), 0},
      {"location entry past the list", CSafClient::PackLoadInfo(1, 2, 3, 1, 5, 0, 0), 0},
      {"last entries of both lists", CSafClient::PackLoadInfo(3, 4, 3, 3, 4, 0, 0), 1},
      {"inheriting reads nothing else", CSafClient::PackLoadInfo(0, 7, 0, 63, 31, 1, 0), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(node->SetValue(itemLoadInfo, good), 1);
    const unsigned long before = node->GetValue(itemLoadInfo);
    Agent()->m_bModified = 0;
    EXPECT_EQ(node->SetValue(itemLoadInfo, c.value), c.accepted);
    if (c.accepted) continue;
    EXPECT_EQ(node->GetValue(itemLoadInfo), before);
    EXPECT_EQ(AnchorOf(node)->m_nLinkType, 2);
    EXPECT_EQ(Agent()->m_bModified, 0);
  }
}

TEST_F(AnchorTree, built_in_names_are_not_kept) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  loc->m_pNode->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(1, 3, 1, 3, 4, 0, 0));
  EXPECT_EQ(loc->m_strFileTypeName, "");
  EXPECT_EQ(loc->m_strLocationName, "");
}

TEST_F(AnchorTree, schedule_info_packs_and_unpacks) {
  CAnchor* folder = AnchorOf(CSafClient::CreateCategoryNode(m_agentNode, "F", 0));
  CSafNode* node = folder->m_pNode;
  EXPECT_EQ(node->GetValue(itemSchedule), 1u);  // inherits, the agent has none
  node->SetValue(itemSchedule, CSafClient::PackScheduleInfo(3, 0));
  EXPECT_EQ(folder->EffectiveSchedule(), 3);
  EXPECT_EQ(node->GetValue(itemSchedule), CSafClient::PackScheduleInfo(3, 0));
  // Index -1 without the flag means "inherit".
  node->SetValue(itemSchedule, CSafClient::PackScheduleInfo(-1, 0));
  EXPECT_EQ(folder->m_bUseParentSchedule, 1);
  EXPECT_EQ(folder->m_pSchedule, nullptr);
  // A child inherits its folder's schedule.
  node->SetValue(itemSchedule, CSafClient::PackScheduleInfo(1, 0));
  CAnchor* loc = AnchorOf(Location(node, "L", "http://a/"));
  EXPECT_EQ(loc->EffectiveSchedule(), 1);
  EXPECT_EQ(loc->m_pNode->GetValue(itemSchedule), CSafClient::PackScheduleInfo(1, 1));
  EXPECT_EQ(m_agentNode->GetValue(itemNextRun), 0u);
}

TEST_F(AnchorTree, automatic_name_never_replaces_a_users_name) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "Mine", "http://a/"));
  m_ui->m_log.clear();
  loc->SetName("Page title", 1);
  EXPECT_EQ(loc->m_strName, "Mine");
  EXPECT_TRUE(m_ui->m_log.empty());
  CHTMLAnchor* page = Page(loc, "http://a/b");
  m_ui->m_log.clear();
  page->SetName("Title", 1);
  EXPECT_EQ(page->m_strName, "Title");
  EXPECT_EQ(page->m_bNameFixed, 0);
  EXPECT_EQ(m_ui->m_log, std::vector<std::string>{"NameChanged Title"});
  page->m_pNode->SetData(itemName, "Renamed", 0);
  page->SetName("Other title", 1);
  EXPECT_EQ(page->m_strName, "Renamed");
}

TEST_F(AnchorTree, user_rename_marks_the_agent_for_saving) {
  CAnchor* folder = AnchorOf(CSafClient::CreateCategoryNode(m_agentNode, "F", 0));
  CSafClient::SaveAgentFile();
  folder->m_pNode->SetData(itemName, "G", 0);
  EXPECT_EQ(Agent()->m_bModified, 1);
}

TEST_F(AnchorTree, deleting_a_folder_detaches_children_first_while_nodes_live) {
  CSafNode* folder = CSafClient::CreateCategoryNode(m_agentNode, "F", 0);
  Location(folder, "A", "http://a/");
  Location(folder, "B", "http://b/");
  CSafNode* c = CSafClient::CreateCategoryNode(folder, "C", 0);
  Location(c, "D", "http://d/");
  const int live = m_ui->m_liveNodes;
  m_ui->m_log.clear();
  folder->Remove(0);
  EXPECT_EQ(m_ui->m_log, (std::vector<std::string>{"Detach A", "Detach B", "Detach D", "Detach C", "Detach F"}));
  EXPECT_EQ(m_ui->m_liveNodes, live - 5);
  EXPECT_EQ(Agent()->GetChildCount(), 0);
  EXPECT_EQ(Agent()->m_bModified, 1);
}

TEST_F(AnchorTree, clearing_the_cache_drops_found_pages_and_keeps_the_users_items_in_order) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  Page(Page(loc, "http://a/1"), "http://a/1/deeper");
  CAnchor* kept = AnchorOf(Location(loc->m_pNode, "K", "http://k/"));
  Page(kept, "http://k/1");
  Page(loc, "http://a/2");
  Agent()->m_bModified = 0;
  m_ui->m_log.clear();
  CSafClient::ClearCache();
  ASSERT_EQ(loc->GetChildCount(), 1);
  EXPECT_EQ(loc->GetChild(0), kept);
  EXPECT_EQ(kept->GetChildCount(), 0);
  std::vector<std::string> detached;
  for (const auto& line : m_ui->m_log)
    if (line.rfind("Detach", 0) == 0) detached.push_back(line);
  EXPECT_EQ(detached, (std::vector<std::string>{"Detach http://a/1/deeper", "Detach http://a/1",
                                                "Detach http://k/1", "Detach http://a/2"}));
  EXPECT_EQ(Agent()->m_bModified, 1);
}

TEST_F(AnchorTree, remove_with_exclude_adds_a_retrieved_page_to_the_location_strategy) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  CHTMLAnchor* page = Page(loc, "http://a/x");
  CHTMLAnchor* again = Page(loc, "http://a/x");
  page->m_pNode->Remove(1);
  again->m_pNode->Remove(1);  // already listed: not twice
  EXPECT_EQ(Agent()->LocationEntry(1)->m_strExclusions, "http://a/x\r\n");
  // A user location is deleted without touching the list.
  loc->m_pNode->Remove(1);
  EXPECT_EQ(Agent()->LocationEntry(1)->m_strExclusions, "http://a/x\r\n");
  EXPECT_EQ(Agent()->GetChildCount(), 0);
}

TEST_F(AnchorTree, transfer_moves_a_node_and_refuses_cycles) {
  CSafNode* f = CSafClient::CreateCategoryNode(m_agentNode, "F", 0);
  CSafNode* g = CSafClient::CreateCategoryNode(f, "G", 0);
  CSafNode* loc = Location(m_agentNode, "L", "http://a/");
  m_ui->m_log.clear();
  CSafClient::TransferNode(loc, g);
  EXPECT_EQ(AnchorOf(loc)->m_pParent, AnchorOf(g));
  EXPECT_EQ(loc->m_pUINode->m_pParentNode, g);
  EXPECT_EQ(m_ui->m_log, std::vector<std::string>{"ReAttach L"});
  CSafClient::TransferNode(f, g);  // below itself: refused
  EXPECT_EQ(AnchorOf(f)->m_pParent, Agent());
  CSafClient::TransferNode(m_agentNode, g);  // the agent has no parent to leave
  EXPECT_EQ(Agent()->m_pParent, nullptr);
}

TEST_F(AnchorTree, nothing_is_placed_deeper_than_an_agent_file_can_hold) {
  constexpr int kMax = CAnchor::kMaxDepth;
  std::vector<CSafNode*> chain{m_agentNode};  // chain[d] lies d levels below the agent
  for (int depth = 1; depth <= kMax; ++depth) {
    chain.push_back(CSafClient::CreateCategoryNode(chain.back(), "F", 0));
    ASSERT_NE(chain.back(), nullptr) << depth;
  }
  CSafNode* moved = CSafClient::CreateCategoryNode(m_agentNode, "G", 0);
  ASSERT_NE(CSafClient::CreateCategoryNode(moved, "H", 0), nullptr);
  std::vector<std::string> shown;
  const MessageSink previous =
      SetMessageSink([&](const std::string& text, const std::string&, HWND) { shown.push_back(text); });
  struct Case {
    const char* what;
    std::function<bool()> insert;
    bool allowed;
  } cases[] = {
      {"folder below the deepest", [&] { return CSafClient::CreateCategoryNode(chain[kMax], "X", 0) != nullptr; },
       false},
      {"location below the deepest",
       [&] { return CSafClient::CreateHTMLNode(chain[kMax], "X", "http://x/", 0) != nullptr; }, false},
      {"two levels dragged one level too deep",
       [&] {
         CSafClient::TransferNode(moved, chain[kMax - 1]);
         return AnchorOf(moved)->m_pParent != Agent();
       },
       false},
      {"two levels dragged onto the last two",
       [&] {
         CSafClient::TransferNode(moved, chain[kMax - 2]);
         return AnchorOf(moved)->m_pParent == AnchorOf(chain[kMax - 2]);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    shown.clear();
    EXPECT_EQ(c.insert(), c.allowed);
    EXPECT_EQ(shown.size(), c.allowed ? 0u : 1u);
    if (!c.allowed && !shown.empty()) {
      EXPECT_NE(shown[0].find(std::to_string(kMax)), std::string::npos) << shown[0];
    }
  }
  SetMessageSink(previous);
  EXPECT_EQ(AnchorOf(chain[kMax])->GetChildCount(), 0);
  // Everything the tree was allowed to hold opens again.
  Agent()->m_bModified = 1;
  CSafClient::SaveAgentFile();
  ASSERT_EQ(CSafClient::LoadAgentFile("Tree", 1), 1);
  int depth = 0;
  for (CAnchor* a = Agent(); a->GetChildCount() > 0; a = a->GetChild(0)) ++depth;
  EXPECT_EQ(depth, kMax);
}

TEST_F(AnchorTree, remove_child_of_a_stranger_changes_nothing) {
  CAnchor* f = AnchorOf(CSafClient::CreateCategoryNode(m_agentNode, "F", 0));
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  EXPECT_EQ(f->RemoveChild(loc), -1);
  EXPECT_EQ(loc->m_pParent, Agent());
  EXPECT_EQ(Agent()->GetChildCount(), 2);
}

TEST_F(AnchorTree, ui_that_refuses_nodes_gets_no_notifications) {
  m_ui->m_refuseNodes = true;
  CSafNode* f = CSafClient::CreateCategoryNode(m_agentNode, "F", 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->m_pUINode, nullptr);
  AnchorOf(f)->SetName("G", 1);
  f->Remove(0);
  EXPECT_EQ(m_ui->m_log.back(), "Create kind=67 parent=Tree");
}

TEST_F(AnchorTree, kinds_follow_the_anchor_class_and_user_flag) {
  CAnchor* loc = AnchorOf(Location(m_agentNode, "L", "http://a/"));
  EXPECT_EQ(loc->GetKind(), 0x41);
  EXPECT_EQ(Page(loc, "http://a/b")->GetKind(), 0x01);
  EXPECT_EQ(Agent()->GetKind(), 0x42);
  EXPECT_EQ(AnchorOf(CSafClient::CreateCategoryNode(m_agentNode, "F", 0))->GetKind(), 0x43);
}

TEST(LoadInfo, packs_fields_at_their_bits) {
  EXPECT_EQ(CSafClient::PackLoadInfo(3, 4, 127, 5, 6, 0, 200), 0xC8C5867Fu);
  EXPECT_EQ(CSafClient::PackLoadInfo(0, 1, 2, 0, 1, 1, 0), 0x2182u);
  // Each field is masked to its width.
  EXPECT_EQ(CSafClient::PackLoadInfo(7, 9, 255, 0x7F, 0x3F, 5, 0x1FF), 0xFFFF3FFFu);
  EXPECT_EQ(CSafClient::PackScheduleInfo(0, 0), 2u);
  EXPECT_EQ(CSafClient::PackScheduleInfo(0, 1), 3u);
  EXPECT_EQ(CSafClient::PackScheduleInfo(-1, 1), 1u);
  EXPECT_EQ(CSafClient::PackScheduleInfo(-1, 0), 0u);
}

}  // namespace
