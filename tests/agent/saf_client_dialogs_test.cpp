// The engine's dialogs reached through the CSafClient statics: Cancel with
// no module drawing them; the strategy lists handed over and taken back only
// when the answer keeps what nodes rely on.
#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/settings/exception_entry.h"
#include "harvion/dialogs.h"
#include "harvion/saf_client.h"
#include "support/test_home.h"

namespace {

class EngineDialogsTest : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_before = SetEngineDialogs({});
  }
  void TearDown() override {
    SetEngineDialogs(m_before);
    TestHome::TearDown();
  }
  EngineDialogs m_before;
};

TEST_F(EngineDialogsTest, without_a_module_or_an_agent_every_dialog_answers_cancel) {
  EXPECT_FALSE(HasEngineDialogs());
  EXPECT_EQ(CSafClient::FileTypes(2), -1);
  EXPECT_EQ(CSafClient::Constraints(0), -1);
  EXPECT_EQ(CSafClient::Schedules(-1), -1);
  CSafClient::Settings();  // nothing to show: returns at once

  int shown = 0;
  EngineDialogs dialogs;
  dialogs.settings = [&] { ++shown; };
  dialogs.fileTypes = [&](const StrategyList& list) { return ++shown, std::optional<StrategyList>(list); };
  dialogs.schedules = [](int) -> int { throw std::runtime_error("drawing failed"); };
  SetEngineDialogs(dialogs);
  EXPECT_TRUE(HasEngineDialogs());
  EXPECT_EQ(CSafClient::FileTypes(1), -1) << "no agent open";
  EXPECT_EQ(CSafClient::Schedules(1), -1) << "a dialog that fails counts as Cancel";
  CSafClient::Settings();
  EXPECT_EQ(shown, 1);
}

TEST_F(EngineDialogsTest, the_agent_takes_an_edited_list_only_when_its_built_in_entries_stay) {
  ASSERT_NE(CSafClient::CreateAgent("Lists"), nullptr);
  CAgentAnchor* agent = CAgentManager::Instance().Agent();
  const auto edit = [](std::function<void(StrategyList&)> change) {
    return [change](const StrategyList& list) {
      StrategyList edited = list;
      change(edited);
      return std::optional<StrategyList>(edited);
    };
  };
  const StrategyEntry copy{"Copy of Text only", 1, ".mov\r\n.avi", 0xFFFF};
  const struct {
    const char* what;
    StrategyDialog dialog;
    int answer;
    int fileTypes;  // entries afterwards
  } cases[] = {
      {"cancel", [](const StrategyList&) { return std::optional<StrategyList>(); }, -1, 4},
      {"a copy added", edit([&](StrategyList& l) { l.entries.push_back(copy), l.selected = 4; }), 4, 5},
      {"a built-in removed", edit([](StrategyList& l) { l.entries.erase(l.entries.begin()); }), -1, 5},
      {"a built-in renamed", edit([](StrategyList& l) { l.entries[1].name = "Words"; }), -1, 5},
      {"a built-in's kind changed", edit([](StrategyList& l) { l.entries[2].kind = 3; }), -1, 5},
      {"two entries of one name", edit([&](StrategyList& l) { l.entries.push_back(copy); }), -1, 5},
      {"a kind no strategy has", edit([](StrategyList& l) { l.entries[4].kind = 7; }), -1, 5},
      {"the copy removed", edit([](StrategyList& l) { l.entries.pop_back(), l.selected = 1; }), 1, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EngineDialogs dialogs;
    dialogs.fileTypes = c.dialog;
    SetEngineDialogs(dialogs);
    EXPECT_EQ(CSafClient::FileTypes(1), c.answer);
    EXPECT_EQ(agent->m_fileTypes.GetSize(), c.fileTypes);
    EXPECT_EQ(agent->m_fileTypes.GetNameAt(1), "Text only");
  }
  // The list is the agent file's: it survives closing and opening again.
  EngineDialogs dialogs;
  dialogs.constraints = edit([&](StrategyList& l) {
    l.entries[0].exclusions = "http://ads.example/";
    l.entries.push_back({"Copy of Unrestricted", 0, "", 0xFFFF});
  });
  SetEngineDialogs(dialogs);
  EXPECT_EQ(CSafClient::Constraints(0), 0);
  CSafClient::SaveAgentFile();
  ASSERT_EQ(CSafClient::LoadAgentFile("Lists", 1), 1);
  agent = CAgentManager::Instance().Agent();
  ASSERT_EQ(agent->m_locations.GetSize(), 6);
  EXPECT_EQ(agent->LocationEntry(0)->m_strExclusions, "http://ads.example/");
  EXPECT_EQ(agent->LocationEntry(5)->m_nPermissions, CExceptionEntry::kUserPermissions);
}

}  // namespace
