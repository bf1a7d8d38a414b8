// The File Types and Locations dialogs driven as a user would: the list
// editor's buttons by permission, copy naming, the edit dialog's checks, and
// what OK and Cancel hand back.
#include <gtest/gtest.h>

#include <QListWidget>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/list_editor.h"
#include "engine/settings/dialogs/strategy_list_dialog.h"
#include "support/dialog_driver.h"

namespace {

using namespace hvdlg;
using dlgtest::Control;

StrategyList BuiltInFileTypes() {
  StrategyList list;
  const char* names[] = {"Site map", "Text only", "Text and graphics", "All files"};
  for (int i = 0; i < 4; ++i) list.entries.push_back({names[i], i, "", 6});
  list.selected = 1;
  return list;
}

// Presses a list editor button and answers the edit dialog it opens.
bool EditThrough(CStrategyListDialog& dialog, int button, const std::map<int, QString>& fields) {
  bool closed = false;
  const bool seen = dlgtest::WithNextModal([&] { Control<QPushButton>(&dialog, button)->click(); },
                                           [&](QDialog* edit) { closed = dlgtest::FillAndOk(edit, fields); });
  return seen && closed;
}

std::vector<std::string> Names(const StrategyList& list) {
  std::vector<std::string> names;
  for (const StrategyEntry& entry : list.entries) names.push_back(entry.name);
  return names;
}

TEST(StrategyDialogs, buttons_follow_the_selected_entry_s_permissions) {
  StrategyList list = BuiltInFileTypes();
  list.entries.push_back({"Mine", 2, "", 0xFFFF});
  CStrategyListDialog dialog(false, list);
  const struct {
    int select;
    bool copy, modify, remove;
  } cases[] = {{0, true, true, false}, {4, true, true, true}, {-1, false, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.select);
    dialog.Editor()->Select(c.select);
    EXPECT_FALSE(Control(&dialog, kIdAdd)->isEnabled()) << "strategies are only copied";
    EXPECT_EQ(Control(&dialog, kIdCopy)->isEnabled(), c.copy);
    EXPECT_EQ(Control(&dialog, kIdModify)->isEnabled(), c.modify);
    EXPECT_EQ(Control(&dialog, kIdRemove)->isEnabled(), c.remove);
  }
}

TEST(StrategyDialogs, copies_take_the_first_free_copy_name_and_the_copied_entry_s_kind_and_exclusions) {
  StrategyList list = BuiltInFileTypes();
  list.entries[1].exclusions = ".mov\r\n.avi";
  CStrategyListDialog dialog(false, list);
  dialog.Editor()->Select(1);
  ASSERT_TRUE(EditThrough(dialog, kIdCopy, {}));
  dialog.Editor()->Select(1);
  ASSERT_TRUE(EditThrough(dialog, kIdCopy, {}));
  // A copy the user names otherwise leaves "Copy of" free again.
  dialog.Editor()->Select(1);
  ASSERT_TRUE(EditThrough(dialog, kIdCopy, {{kIdStrategyName, "text only"}}));
  const StrategyList value = dialog.Value();
  EXPECT_EQ(Names(value), (std::vector<std::string>{"Site map", "Text only", "Text and graphics", "All files",
                                                    "Copy of Text only", "Copy(2) of Text only", "text only"}));
  for (std::size_t i = 4; i < 7; ++i) {
    EXPECT_EQ(value.entries[i].kind, 1);
    EXPECT_EQ(value.entries[i].exclusions, ".mov\r\n.avi");
    EXPECT_EQ(value.entries[i].permissions, 0xFFFF);
  }
  EXPECT_EQ(value.selected, 6) << "a new entry is selected";
  EXPECT_EQ(Control<QLineEdit>(&dialog, kIdDetailName)->text(), "text only");
}

TEST(StrategyDialogs, the_edit_dialog_refuses_an_empty_or_taken_name_and_modify_changes_only_exclusions) {
  dlgtest::MessageLog log;
  CStrategyListDialog dialog(true, [] {
    StrategyList list;
    list.entries = {{"Unrestricted", 0, "", 6}, {"Inside server", 4, "", 6}};
    return list;
  }());
  dialog.Editor()->Select(1);
  EXPECT_EQ(Control<QLineEdit>(&dialog, kIdDetailRetrieve)->text(), "Restrict retrieval to the server");
  const struct {
    int button;
    QString name;
    bool closes;
    const char* message;
  } cases[] = {
      {kIdCopy, "", false, "You must enter a name for the retrieval strategy"},
      {kIdCopy, "Unrestricted", false, "A retrieval strategy with this name already exists. Choose Modify to edit."},
      {kIdModify, "Renamed", true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    dialog.Editor()->Select(1);
    EXPECT_EQ(EditThrough(dialog, c.button, {{kIdStrategyName, c.name}, {kIdStrategyExclude, "/ads\n/tracker"}}),
              c.closes);
    const std::vector<std::string> messages = log.Take();
    if (c.message)
      EXPECT_EQ(messages, std::vector<std::string>{c.message});
    else
      EXPECT_TRUE(messages.empty());
  }
  const StrategyList value = dialog.Value();
  ASSERT_EQ(value.entries.size(), 2u) << "refused copies add nothing";
  EXPECT_EQ(value.entries[1].name, "Inside server") << "the name is read-only in modify mode";
  EXPECT_EQ(value.entries[1].kind, 4);
  EXPECT_EQ(value.entries[1].exclusions, "/ads\r\n/tracker");
}

TEST(StrategyDialogs, remove_takes_the_copy_away_and_cancel_hands_nothing_back) {
  StrategyList list = BuiltInFileTypes();
  list.entries.push_back({"Mine", 2, "", 0xFFFF});
  std::optional<StrategyList> answer = list;
  dlgtest::WithNextModal([&] { answer = CStrategyListDialog::Edit(nullptr, false, list); },
                         [&](QDialog* shown) {
                           auto* dialog = static_cast<CStrategyListDialog*>(shown);
                           dialog->Editor()->Select(4);
                           Control<QPushButton>(dialog, kIdRemove)->click();
                           EXPECT_EQ(dialog->Value().entries.size(), 4u);
                           EXPECT_EQ(dialog->Editor()->Selected(), -1);
                           EXPECT_TRUE(Control<QLineEdit>(dialog, kIdDetailName)->text().isEmpty());
                           dialog->reject();
                         });
  EXPECT_FALSE(answer.has_value());
  dlgtest::WithNextModal([&] { answer = CStrategyListDialog::Edit(nullptr, false, list); },
                         [&](QDialog* shown) {
                           auto* dialog = static_cast<CStrategyListDialog*>(shown);
                           Control<QPushButton>(dialog, kIdRemove)->click();  // built-in: nothing happens
                           dialog->accept();
                         });
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->entries.size(), 5u);
  EXPECT_EQ(answer->selected, 1);
}

}  // namespace
