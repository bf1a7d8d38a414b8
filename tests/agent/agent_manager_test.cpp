// Agent names, the files and folders behind them, and renames.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/cache/cache.h"
#include "engine/settings/engine_app.h"
#include "harvion/agent_files.h"
#include "platform/files/file_system.h"
#include "support/test_home.h"

namespace {

class AgentNames : public TestHome {
 protected:
  void MakeAgent(const std::string& name) {
    ASSERT_NE(CSafClient::CreateAgent(name.c_str()), nullptr);
    CSafClient::DeleteAgent();
  }
  std::string NewName(const char* base) {
    HGLOBAL block = CSafClient::CreateNewAgentName(base);
    if (!block) return "<null>";
    std::string name = static_cast<const char*>(GlobalLock(block));
    GlobalUnlock(block);
    GlobalFree(block);
    return name;
  }
};

TEST_F(AgentNames, new_name_skips_names_in_use) {
  EXPECT_EQ(NewName("New Agent"), "New Agent");
  MakeAgent("New Agent");
  MakeAgent("New Agent(1)");
  EXPECT_EQ(NewName("New Agent"), "New Agent(2)");
  // A stray folder alone makes a name unavailable too.
  hv::fs::EnsureDirectory(Path("New Agent(2)"));
  EXPECT_EQ(NewName("New Agent"), "New Agent(3)");
}

TEST_F(AgentNames, exists_needs_file_and_folder_missing_needs_neither) {
  MakeAgent("A");
  EXPECT_EQ(CSafClient::DoesAgentExist("A"), 1);
  EXPECT_EQ(CSafClient::IsAgentMissing("A"), 0);
  hv::fs::RemoveTree(Path("A"));
  EXPECT_EQ(CSafClient::DoesAgentExist("A"), 0);
  EXPECT_EQ(CSafClient::IsAgentMissing("A"), 0);
  hv::fs::RemoveFile(Path("A.hvx"));
  EXPECT_EQ(CSafClient::IsAgentMissing("A"), 1);
  hv::fs::EnsureDirectory(Path("B.hvx"));  // a folder is not an agent file
  hv::fs::EnsureDirectory(Path("B"));
  EXPECT_EQ(CSafClient::DoesAgentExist("B"), 0);
}

TEST_F(AgentNames, names_that_leave_the_agents_folder_are_refused) {
  for (const char* bad : {"", ".", "..", "../escape", "a/b", "/abs"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(CSafClient::CreateAgent(bad), nullptr);
    EXPECT_EQ(CSafClient::IsAgentMissing(bad), 0);
  }
  EXPECT_FALSE(hv::fs::Exists(Path("../escape.hvx")));
  ASSERT_NE(CSafClient::CreateAgent("Good"), nullptr);
  CSafNode* node = CAgentManager::Instance().Agent()->m_pNode;
  EXPECT_EQ(node->SetData(itemName, "../escape", 0), 0);
  EXPECT_EQ(CAgentManager::Instance().AgentName(), "Good");
}

TEST_F(AgentNames, create_refuses_a_name_in_use) {
  MakeAgent("Taken");
  const auto before = ReadFile(Path("Taken.hvx"));
  EXPECT_EQ(CSafClient::CreateAgent("Taken"), nullptr);
  EXPECT_EQ(CAgentManager::Instance().Agent(), nullptr);
  EXPECT_EQ(ReadFile(Path("Taken.hvx")), before);
}

TEST_F(AgentNames, rename_moves_file_and_folder) {
  ASSERT_NE(CSafClient::CreateAgent("Old"), nullptr);
  CSafClient::SaveAgentFile();
  WriteFile(Path("Old/kept.htm"), {'x'});
  CSafNode* node = CAgentManager::Instance().Agent()->m_pNode;
  EXPECT_EQ(node->SetData(itemName, "New", 0), 1);
  CSafClient::SaveAgentFile();
  EXPECT_FALSE(hv::fs::Exists(Path("Old.hvx")));
  EXPECT_FALSE(hv::fs::Exists(Path("Old")));
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("New/kept.htm")));
  EXPECT_EQ(CAgentManager::Instance().Cache()->Directory(), Path("New"));
  // A change of letter case alone is a rename too.
  EXPECT_EQ(node->SetData(itemName, "NEW", 0), 1);
  CSafClient::SaveAgentFile();
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("NEW.hvx")));
  CSafClient::DeleteAgent();
  ASSERT_EQ(CSafClient::LoadAgentFile("NEW", 1), 1);
  EXPECT_EQ(CAgentManager::Instance().Agent()->m_strName, "NEW");
}

TEST_F(AgentNames, rename_onto_another_agent_is_refused) {
  MakeAgent("Other");
  const auto other = ReadFile(Path("Other.hvx"));
  ASSERT_NE(CSafClient::CreateAgent("Mine"), nullptr);
  CSafNode* node = CAgentManager::Instance().Agent()->m_pNode;
  EXPECT_EQ(node->SetData(itemName, "Other", 0), 0);
  CSafClient::SaveAgentFile();
  EXPECT_EQ(ReadFile(Path("Other.hvx")), other);
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("Mine.hvx")));
}

TEST_F(AgentNames, delete_file_removes_file_and_folder_contents) {
  ASSERT_NE(CSafClient::CreateAgent("Gone"), nullptr);
  CSafClient::SaveAgentFile();
  hv::fs::EnsureDirectory(Path("Gone/sub"));
  WriteFile(Path("Gone/sub/x"), {'x'});
  CSafClient::DeleteAgentFile();
  EXPECT_EQ(CAgentManager::Instance().Agent(), nullptr);
  EXPECT_EQ(CSafClient::IsAgentMissing("Gone"), 1);
  EXPECT_EQ(m_ui->m_liveNodes, 0);
}

TEST_F(AgentNames, opening_another_agent_saves_the_current_one) {
  ASSERT_NE(CSafClient::CreateAgent("First"), nullptr);
  CAgentManager::Instance().Agent()->m_strAuthor1 = "note";
  CAgentManager::Instance().Agent()->m_bModified = 1;
  MakeAgent("Second");
  ASSERT_EQ(CSafClient::LoadAgentFile("First", 1), 1);
  EXPECT_EQ(CAgentManager::Instance().Agent()->m_strAuthor1, "note");
}

TEST_F(AgentNames, load_refreshes_and_posts_the_folder_statistics) {
  ASSERT_NE(CSafClient::CreateAgent("Stats"), nullptr);
  CSafClient::DeleteAgent();
  WriteFile(Path("Stats/a"), std::vector<std::uint8_t>(100, 'a'));
  WriteFile(Path("Stats/b"), std::vector<std::uint8_t>(23, 'b'));
  const std::int64_t index = hv::fs::FileSize(Path("Stats/Harvion Cache.hvc"));
  const std::int64_t placeholder = hv::fs::FileSize(Path("Stats/hvempty.gif"));
  ASSERT_GT(index, 0);
  ASSERT_EQ(placeholder, 108);
  ASSERT_EQ(CSafClient::LoadAgentFile("Stats", 1), 1);
  const auto bytes = static_cast<std::int32_t>(123 + index + placeholder);
  EXPECT_EQ(CAgentManager::Instance().Agent()->m_nFileCount, 4);
  EXPECT_EQ(CAgentManager::Instance().Agent()->m_nByteCount, bytes);
  ASSERT_FALSE(m_ui->m_statistics.empty());
  EXPECT_EQ(m_ui->m_statistics.back(), (std::pair<WPARAM, LPARAM>{4, static_cast<LPARAM>(bytes)}));
}

TEST_F(AgentNames, unattended_folders_replace_the_settings) {
  hv::fs::EnsureDirectory(Path("files"));
  hv::fs::EnsureDirectory(Path("folders"));
  CAgentManager& manager = CAgentManager::Instance();
  CSafClient::SetUnattended("relative/files", Path("folders").c_str());
  EXPECT_EQ(manager.AgentFilesDirectory(), EngineApp::Instance().m_strAgentsFolder) << "a relative folder is ignored";
  CSafClient::SetUnattended(Path("files").c_str(), Path("folders").c_str());
  EXPECT_TRUE(manager.m_bUnattended);
  ASSERT_NE(CSafClient::CreateAgent("U"), nullptr);
  CSafClient::SaveAgentFile();
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("files/U.hvx")));
  EXPECT_TRUE(hv::fs::IsDirectory(Path("folders/U")));
  CSafClient::DeleteAgent();
  manager.ResetDirectories();
  manager.m_bUnattended = false;
}

TEST_F(AgentNames, every_file_of_an_accepted_name_fits) {
  // The longest is the save's temporary: "." + name + ".hvx." + 6 = 255.
  for (const std::size_t length : {243u, 244u, 250u}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    const bool accepted = CSafClient::CreateAgent(name.c_str()) != nullptr;
    EXPECT_EQ(accepted, length == 243);
    std::string error;
    if (accepted) {
      EXPECT_EQ(SaveAgentFileChecked(error), 1) << error;
    }
    CSafClient::DeleteAgentFile();
    EXPECT_FALSE(hv::fs::Exists(Path(name)));
  }
}

TEST_F(AgentNames, temporaries_of_unfinished_saves_go_at_open_and_delete) {
  MakeAgent("A");
  struct Leftover {
    const char* name;
    bool stale;
  };
  const Leftover leftovers[] = {
      {".A.hvx.Ab12Cd", true},
      {"A/.Harvion Cache.hvc.x1Y2z3", true},
      {".B.hvx.Ab12Cd", false},               // another agent's
      {".A.hvx.Ab12C", false},                // not a temporary's name
      {"A/.Harvion Cache.hvc.x1Y2z3.old", false},
  };
  for (const Leftover& l : leftovers) WriteFile(Path(l.name), {'t'});
  ASSERT_EQ(CSafClient::LoadAgentFile("A", 1), 1);
  for (const Leftover& l : leftovers) EXPECT_EQ(hv::fs::Exists(Path(l.name)), !l.stale) << l.name;
  WriteFile(Path(".A.hvx.Zz99Yy"), {'t'});
  CSafClient::DeleteAgentFile();
  EXPECT_FALSE(hv::fs::Exists(Path(".A.hvx.Zz99Yy")));
  EXPECT_FALSE(hv::fs::Exists(Path(".A.hvx.lock")));
}

TEST_F(AgentNames, index_alone_changed_leaves_the_agent_file_alone) {
  ASSERT_NE(CSafClient::CreateAgent("A"), nullptr);
  CSafClient::SaveAgentFile();
  struct stat before {};
  ASSERT_EQ(stat(Path("A.hvx").c_str(), &before), 0);
  const auto index = [this] { return hv::fs::FileSize(Path("A/Harvion Cache.hvc")); };
  const std::int64_t emptyIndex = index();
  ASSERT_NE(CAgentManager::Instance().Cache()->FindOrCreate("http://h/"), nullptr);
  CAgentManager::Instance().Agent()->m_bCacheChanged = 1;
  CSafClient::SaveAgentFile();
  struct stat after {};
  ASSERT_EQ(stat(Path("A.hvx").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_GT(index(), emptyIndex);
}

}  // namespace
