// Agent files: the byte layout, reading back, saving and the damaged files a
// reader must survive.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/base_node.h"
#include "engine/agent/category_anchor.h"
#include "engine/agent/html_anchor.h"
#include "engine/cache/cache.h"
#include "engine/settings/exception_entry.h"
#include "platform/files/file_system.h"
#include "support/golden_bytes.h"
#include "support/test_home.h"

namespace {

void BuiltInEntry(GoldenBytes& g, const std::string& name, std::uint32_t id) {
  g.classRef(3).str(name).u32(id).str("").u32(6);
}

// Agent "Demo" holding folder "News", which holds location "Front" with its
// own settings and a user-defined file-type strategy; below it a page
// reached through a frame.
std::vector<std::uint8_t> DemoAgentBytes() {
  GoldenBytes g;
  g.u32(768).newClass("CAgentAnchor");  // class 1, object 2
  g.u16(5);
  g.newClass("CExceptionEntry").str("Site map").u32(0).str("").u32(6);  // class 3, object 4
  BuiltInEntry(g, "Text only", 1);
  BuiltInEntry(g, "Text and graphics", 2);
  BuiltInEntry(g, "All files", 3);
  g.classRef(3).str("Copy of Text only").u32(1).str(".mov\r\n").u32(0xFFFF);  // object 8
  g.u16(5);
  BuiltInEntry(g, "Unrestricted", 0);
  BuiltInEntry(g, "Links within site", 1);
  BuiltInEntry(g, "Links within directory", 2);
  BuiltInEntry(g, "Links outside site", 3);
  BuiltInEntry(g, "Inside server", 4);  // object 13
  g.str("Jo").str("").str("").u32(0);
  // Agent's anchor part.
  g.str("Demo").u8(1).u8(1).null().u32(1).u8(2).u8(1).u8(0).str("").str("").u8(1).null();
  g.u16(1);  // children
  // Folder: class 14, object 15.
  g.newClass("CCategoryAnchor").str("News").u8(1).u8(1).objectRef(2).u32(0).u8(0).u8(0).u8(1);
  g.str("").str("").u8(1).null();
  g.u16(1);
  // Location: class 16, object 17; levels 2, all files, within directory,
  // own settings naming entry 4 of the file types.
  g.newClass("CHTMLAnchor").str("Front").u8(1).u8(1).objectRef(15).u32(2).u8(3).u8(2).u8(0);
  g.str("Copy of Text only").str("").u8(1).null();
  g.str("http://example.com/");
  g.u16(1);
  // Page reached through a frame (object 18): bit 7 of the link type.
  g.classRef(16).str("").u8(0).u8(0).objectRef(17).u32(0).u8(0).u8(0x80).u8(1);
  g.str("").str("").u8(1).null();
  g.str("http://example.com/frame.htm");
  g.u16(0);
  return g.bytes();
}

class AgentFile : public TestHome {
 protected:
  // Builds the Demo agent through the engine as the user interface would.
  void BuildDemo() {
    CSafNode* agentNode = CSafClient::CreateAgent("Demo");
    ASSERT_NE(agentNode, nullptr);
    CAgentAnchor* agent = CAgentManager::Instance().Agent();
    agent->m_strAuthor1 = "Jo";
    auto copy = agent->m_fileTypes.Duplicate(1);
    static_cast<CExceptionEntry*>(copy.get())->m_nPermissions = 0xFFFF;
    static_cast<CExceptionEntry*>(copy.get())->m_strExclusions = ".mov\r\n";
    agent->m_fileTypes.Add(std::move(copy));

    CSafNode* news = CSafClient::CreateCategoryNode(agentNode, "News", 0);
    ASSERT_NE(news, nullptr);
    CSafNode* front = CSafClient::CreateHTMLNode(news, "Front", "http://example.com/", 0);
    ASSERT_NE(front, nullptr);
    ASSERT_EQ(front->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(3, 2, 2, 4, 2, 0, 0)), 1);

    auto frame = std::make_unique<CHTMLAnchor>();
    frame->m_pPage = CAgentManager::Instance().Cache()->FindOrCreate("http://example.com/frame.htm");
    frame->m_bNoLevelCost = 1;
    AnchorOf(front)->InsertChild(std::move(frame), 0);
  }

  static CAnchor* AnchorOf(CSafNode* node) { return static_cast<CBaseNode*>(node)->m_pAnchor; }
  static CAgentAnchor* Agent() { return CAgentManager::Instance().Agent(); }
};

TEST_F(AgentFile, saved_agent_follows_the_layout_byte_for_byte) {
  BuildDemo();
  CSafClient::SaveAgentFile();
  EXPECT_EQ(ReadFile(Path("Demo.hvx")), DemoAgentBytes());
  EXPECT_TRUE(hv::fs::IsDirectory(Path("Demo")));
}

TEST_F(AgentFile, reading_gives_back_the_tree_and_writes_the_same_bytes) {
  WriteFile(Path("Demo.hvx"), DemoAgentBytes());
  hv::fs::EnsureDirectory(Path("Demo"));
  ASSERT_EQ(CSafClient::LoadAgentFile("Demo", 1), 1);
  CAgentAnchor* agent = Agent();
  EXPECT_EQ(agent->m_strAuthor1, "Jo");
  EXPECT_EQ(agent->m_fileTypes.GetSize(), 5);
  ASSERT_EQ(agent->GetChildCount(), 1);
  CAnchor* news = agent->GetChild(0);
  EXPECT_TRUE(news->IsKindOf(RUNTIME_CLASS(CCategoryAnchor)));
  ASSERT_EQ(news->GetChildCount(), 1);
  auto* front = static_cast<CHTMLAnchor*>(news->GetChild(0));
  EXPECT_EQ(front->GetPageUrl(), "http://example.com/");
  EXPECT_EQ(front->m_bNoLevelCost, 0);
  const hv::LoadSettings s = front->EffectiveSettings();
  EXPECT_EQ(s.fileTypeIndex, 4);
  EXPECT_EQ(s.levels, 2);
  EXPECT_EQ(front->m_strFileTypeName, "Copy of Text only");
  ASSERT_EQ(front->GetChildCount(), 1);
  auto* frame = static_cast<CHTMLAnchor*>(front->GetChild(0));
  EXPECT_EQ(frame->m_bNoLevelCost, 1);
  EXPECT_EQ(frame->m_pParent, front);
  // A frame page pays no level: it keeps the levels of its location.
  EXPECT_EQ(frame->EffectiveSettings().effectiveLevels, 2);
  // UI nodes came parents first, in file order.
  std::vector<std::string> creates;
  for (const auto& line : m_ui->m_log)
    if (line.rfind("Create", 0) == 0) creates.push_back(line);
  EXPECT_EQ(creates, (std::vector<std::string>{"Create kind=66 parent=-", "Create kind=67 parent=Demo",
                                               "Create kind=65 parent=News",
                                               "Create kind=1 parent=Front"}));
  EXPECT_EQ(agent->m_bModified, 0);
  agent->m_bModified = 1;
  CSafClient::SaveAgentFile();
  EXPECT_EQ(ReadFile(Path("Demo.hvx")), DemoAgentBytes());
}

TEST_F(AgentFile, page_without_frame_flag_reads_back_without_it) {
  BuildDemo();
  static_cast<CHTMLAnchor*>(Agent()->GetChild(0)->GetChild(0)->GetChild(0))->m_bNoLevelCost = 0;
  Agent()->m_bModified = 1;
  CSafClient::SaveAgentFile();
  ASSERT_EQ(CSafClient::LoadAgentFile("Demo", 1), 1);
  auto* frame = static_cast<CHTMLAnchor*>(Agent()->GetChild(0)->GetChild(0)->GetChild(0));
  EXPECT_EQ(frame->m_bNoLevelCost, 0);
  EXPECT_EQ(frame->EffectiveSettings().effectiveLevels, 1);
}

TEST_F(AgentFile, unmodified_agent_is_not_written) {
  BuildDemo();
  CSafClient::SaveAgentFile();
  WriteFile(Path("Demo.hvx"), {1, 2, 3});
  CSafClient::SaveAgentFile();
  EXPECT_EQ(ReadFile(Path("Demo.hvx")), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(AgentFile, failed_save_keeps_the_old_file_and_the_modified_mark) {
  BuildDemo();
  CSafClient::SaveAgentFile();
  const auto before = ReadFile(Path("Demo.hvx"));
  Agent()->m_strAuthor2 = "changed";
  Agent()->m_bModified = 1;
  // A folder in the way of the temporary file's rename stands for a full disk.
  CAgentManager::Instance().SetDirectories(Path("gone"), Path(""));
  CSafClient::SaveAgentFile();
  EXPECT_EQ(Agent()->m_bModified, 1);
  CAgentManager::Instance().ResetDirectories();
  EXPECT_EQ(ReadFile(Path("Demo.hvx")), before);
}

TEST_F(AgentFile, zero_length_file_opens_nothing_quietly) {
  WriteFile(Path("Empty.hvx"), {});
  EXPECT_EQ(CSafClient::LoadAgentFile("Empty", 1), 0);
  EXPECT_EQ(Agent(), nullptr);
  EXPECT_EQ(CAgentManager::Instance().AgentName(), "");
  // The failed open left no folder that would make it look like an agent.
  EXPECT_EQ(CSafClient::DoesAgentExist("Empty"), 0);
  EXPECT_FALSE(hv::fs::Exists(Path("Empty")));
}

TEST_F(AgentFile, root_of_another_class_fails_to_open) {
  GoldenBytes g;
  g.u32(768).newClass("CCategoryAnchor").str("X").u8(1).u8(1).null().u32(0).u8(0).u8(0).u8(1);
  g.str("").str("").u8(1).null().u16(0);
  WriteFile(Path("Odd.hvx"), g.bytes());
  hv::fs::EnsureDirectory(Path("Odd"));
  EXPECT_EQ(CSafClient::LoadAgentFile("Odd", 1), 0);
  EXPECT_EQ(m_ui->m_liveNodes, 0);
}

// Every mutation of a good file must fail cleanly: no agent, no UI node left
// behind, no crash.
TEST_F(AgentFile, damaged_files_fail_cleanly) {
  const std::vector<std::uint8_t> good = DemoAgentBytes();
  struct Mutation {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> apply;
  };
  auto at = [&](std::size_t offset, std::uint8_t value) {
    return [=](std::vector<std::uint8_t>& b) { b[offset] = value; };
  };
  // Offsets found from the layout: the folder's parent reference and its
  // children count sit right after its name and flags.
  const std::size_t newsParent = [&] {
    const std::string marker = "News";
    auto it = std::search(good.begin(), good.end(), marker.begin(), marker.end());
    return static_cast<std::size_t>(it - good.begin()) + marker.size() + 2;
  }();
  std::vector<Mutation> mutations = {
      {"unknown class", [](auto& b) { b[10] = 'X'; }},
      {"wrong schema", at(6, 2)},
      {"class name too long", at(8, 0xFF)},
      {"huge list count", [](auto& b) { b[22] = 0xFF; b[23] = 0xFF; }},
      {"parent is not the enclosing anchor", at(newsParent, 0x0F)},
      {"parent refers to an entry", at(newsParent, 0x04)},
      {"forward reference", at(newsParent, 0x40)},
      {"class index never handed out", [&](auto& b) { b[newsParent] = 0x09; b[newsParent + 1] = 0x80; }},
      {"string longer than the file", [](auto& b) { b[45] = 0xFF; b.insert(b.begin() + 46, {0x00, 0x80}); }},
      {"long string form past the end", [](auto& b) { b[45] = 0xFF; b.insert(b.begin() + 46, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}); }},
  };
  for (std::size_t cut = 1; cut < good.size(); cut += 7)
    mutations.push_back({"truncated", [cut](auto& b) { b.resize(b.size() - cut); }});
  for (const auto& m : mutations) {
    SCOPED_TRACE(m.what);
    std::vector<std::uint8_t> bytes = good;
    m.apply(bytes);
    WriteFile(Path("Bad.hvx"), bytes);
    hv::fs::EnsureDirectory(Path("Bad"));
    EXPECT_EQ(CSafClient::LoadAgentFile("Bad", 1), 0);
    EXPECT_EQ(Agent(), nullptr);
    EXPECT_EQ(m_ui->m_liveNodes, 0);
  }
}

TEST_F(AgentFile, cyclic_child_reference_is_refused) {
  // The folder lists the agent (object 2) as its own child.
  GoldenBytes g;
  g.u32(768).newClass("CAgentAnchor").u16(0).u16(0).str("").str("").str("").u32(0);
  g.str("A").u8(1).u8(1).null().u32(1).u8(2).u8(1).u8(0).str("").str("").u8(1).null();
  g.u16(1).newClass("CCategoryAnchor").str("F").u8(1).u8(1).objectRef(2).u32(0).u8(0).u8(0).u8(1);
  g.str("").str("").u8(1).null().u16(1).objectRef(2);
  WriteFile(Path("A.hvx"), g.bytes());
  hv::fs::EnsureDirectory(Path("A"));
  EXPECT_EQ(CSafClient::LoadAgentFile("A", 1), 0);
  EXPECT_EQ(m_ui->m_liveNodes, 0);
}

TEST_F(AgentFile, tree_deeper_than_the_limit_is_refused) {
  struct Case {
    int folders;  // nested one in the other below the agent
    int opens;
  } cases[] = {{CAnchor::kMaxDepth, 1}, {CAnchor::kMaxDepth + 1, 0}, {CAnchor::kMaxDepth + 5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folders);
    GoldenBytes g;
    g.u32(768).newClass("CAgentAnchor").u16(0).u16(0).str("").str("").str("").u32(0);
    g.str("A").u8(1).u8(1).null().u32(1).u8(2).u8(1).u8(0).str("").str("").u8(1).null();
    std::uint16_t parent = 2;
    for (int depth = 0; depth < c.folders; ++depth) {
      g.u16(1);
      if (depth == 0)
        g.newClass("CCategoryAnchor");  // class 3, objects from 4 on
      else
        g.classRef(3);
      g.str("F").u8(1).u8(1).objectRef(parent).u32(0).u8(0).u8(0).u8(1).str("").str("").u8(1).null();
      parent = static_cast<std::uint16_t>(depth == 0 ? 4 : parent + 1);
    }
    g.u16(0);
    WriteFile(Path("A.hvx"), g.bytes());
    hv::fs::EnsureDirectory(Path("A"));
    EXPECT_EQ(CSafClient::LoadAgentFile("A", 1), c.opens);
    EXPECT_EQ(m_ui->m_liveNodes, c.opens ? c.folders + 1 : 0);
    CSafClient::DeleteAgent();
  }
}

// A strategy value outside the lists is read as "inherit"; the agent itself
// has nothing to inherit from and takes the new agent's value instead.
TEST_F(AgentFile, strategy_values_outside_the_lists_do_not_stop_the_agent_opening) {
  struct Case {
    const char* what;
    std::uint8_t rootDetail, rootType, folderDetail, folderType;
    int rootDetailRead, rootTypeRead, folderInherits;
  } cases[] = {
      {"agent's link type", 3, 5, 1, 2, 3, CUINode::ltWithinSite, 0},
      {"agent's load detail", 4, 3, 1, 2, CUINode::ldTextAndGraphics, 3, 0},
      {"folder's link type", 3, 0, 1, 7, 3, 0, 1},
      {"folder's load detail", 3, 0, 200, 2, 3, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    GoldenBytes g;
    g.u32(768).newClass("CAgentAnchor").u16(0).u16(0).str("").str("").str("").u32(0);
    g.str("S").u8(1).u8(1).null().u32(4).u8(c.rootDetail).u8(c.rootType).u8(0).str("").str("").u8(1).null();
    g.u16(1).newClass("CCategoryAnchor").str("F").u8(1).u8(1).objectRef(2).u32(2);
    g.u8(c.folderDetail).u8(c.folderType).u8(0).str("").str("").u8(1).null().u16(0);
    WriteFile(Path("S.hvx"), g.bytes());
    hv::fs::EnsureDirectory(Path("S"));
    ASSERT_EQ(CSafClient::LoadAgentFile("S", 1), 1);
    EXPECT_EQ(Agent()->m_nLoadDetail, c.rootDetailRead);
    EXPECT_EQ(Agent()->m_nLinkType, c.rootTypeRead);
    EXPECT_EQ(Agent()->m_nLinkLevels, 4);
    CAnchor* folder = Agent()->GetChild(0);
    EXPECT_EQ(folder->m_bUseParentSettings, c.folderInherits);
    if (c.folderInherits) {
      EXPECT_EQ(folder->GetLoadInfo() & 0xFFFF7F, Agent()->GetLoadInfo() & 0xFFFF7F);
    }
  }
}

TEST_F(AgentFile, schedule_naming_a_deleted_schedule_is_written_as_inherited) {
  BuildDemo();
  CAnchor* news = Agent()->GetChild(0);
  news->m_bUseParentSchedule = 0;
  news->m_pSchedule = std::make_unique<CScheduleInfo>("Gone");
  Agent()->m_bModified = 1;
  CSafClient::SaveAgentFile();
  EXPECT_EQ(ReadFile(Path("Demo.hvx")), DemoAgentBytes());
  EXPECT_EQ(news->m_pSchedule, nullptr);
}

TEST_F(AgentFile, own_schedule_is_stored_with_its_path) {
  BuildDemo();
  CAnchor* front = Agent()->GetChild(0)->GetChild(0);
  front->m_pNode->SetValue(itemSchedule, CSafClient::PackScheduleInfo(2, 0));
  ASSERT_NE(front->m_pSchedule, nullptr);
  EXPECT_EQ(front->m_pSchedule->m_strName, "Weekdays");
  CSafClient::SaveAgentFile();
  EXPECT_EQ(front->m_pSchedule->m_strAgentId, std::string("DemoNewshttp://example.com/"));
  ASSERT_EQ(CSafClient::LoadAgentFile("Demo", 1), 1);
  CSafNode* found = CSafClient::FindAgent("DemoNewshttp://example.com/", "Weekdays");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(AnchorOf(found)->m_strName, "Front");
  EXPECT_EQ(CSafClient::FindAgent("DemoNewshttp://example.com/", "weekdays"), nullptr);
  EXPECT_EQ(CSafClient::FindAgent("DemoNews", "Weekdays"), nullptr);
  EXPECT_EQ(found->GetValue(itemSchedule), CSafClient::PackScheduleInfo(2, 0));
  EXPECT_NE(found->GetValue(itemNextRun), 0u);
}

}  // namespace
