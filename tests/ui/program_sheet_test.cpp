// The settings sheet on the real settings store: what OK, Apply and Cancel
// leave in the store file, edits of another program made while the sheet is
// open, the edit dialogs' checks, and the agents folder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/list_editor.h"
#include "engine/settings/dialogs/program_connections.h"
#include "engine/settings/dialogs/program_passwords.h"
#include "engine/settings/dialogs/program_search.h"
#include "engine/settings/dialogs/program_sheet.h"
#include "harvion/settings.h"
#include "harvion/settings_lists.h"
#include "support/dialog_driver.h"

namespace {

using namespace hvdlg;
using dlgtest::Control;

QByteArray StoreBytes() {
  QFile file(QString::fromStdString(GetHomeDirectory()) + "/registry.reg");
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string Value(const char* name) {
  for (const CEngineSettings::Item& item : CEngineSettings::List())
    if (item.name == name) return item.value;
  return {};
}

// Opens every page, as a user looking through the sheet would.
void VisitAll(CProgramSheet& sheet) {
  for (int i = sheet.Tabs()->count() - 1; i >= 0; --i) sheet.Tabs()->setCurrentIndex(i);
}

bool AddThrough(QWidget* page, int button, const std::map<int, QString>& fields) {
  bool closed = false;
  const bool seen = dlgtest::WithNextModal([&] { Control<QPushButton>(page, button)->click(); },
                                           [&](QDialog* edit) { closed = dlgtest::FillAndOk(edit, fields); });
  return seen && closed;
}

class ProgramSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The defaults are written when the search engines are first read.
    CSettingsLists::SearchEngines();
    for (const char* name : {"threads", "timeout", "proxy-server", "proxy-port", "use-proxy"})
      m_saved.emplace_back(name, Value(name));
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) CEngineSettings::Change(name, value);
  }
  std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST_F(ProgramSheetTest, cancel_after_edits_on_every_page_leaves_the_store_file_byte_identical) {
  const QByteArray before = StoreBytes();
  ASSERT_FALSE(before.isEmpty());
  {
    CProgramSheet sheet;
    VisitAll(sheet);
    Control<QSpinBox>(&sheet, kIdThreads)->setValue(9);
    Control<QLineEdit>(&sheet, kIdProxyServer)->setText("proxy.example");
    Control<QCheckBox>(&sheet, kIdUseProxy)->setChecked(true);
    QWidget* passwords = sheet.Page(1);
    ASSERT_TRUE(AddThrough(passwords, kIdAdd, {{kIdRealm, "Members"}, {kIdUser, "ann"}, {kIdPassword, "pw"}}));
    auto* search = static_cast<CProgramSearch*>(sheet.Page(3));
    search->Editor()->Select(0);
    Control<QPushButton>(search, kIdRemove)->click();
    sheet.reject();
  }
  EXPECT_EQ(StoreBytes(), before);
  EXPECT_EQ(Value("threads"), m_saved[0].second);
}

TEST_F(ProgramSheetTest, ok_stores_the_user_s_changes_and_keeps_what_another_program_changed_meanwhile) {
  const std::vector<SearchEngineItem> engines = CSettingsLists::SearchEngines();
  CProgramSheet sheet;
  VisitAll(sheet);
  Control<QSpinBox>(&sheet, kIdThreads)->setValue(7);
  Control<QSpinBox>(&sheet, kIdProxyPort)->setValue(3128);
  auto* search = static_cast<CProgramSearch*>(sheet.Page(3));
  ASSERT_TRUE(AddThrough(search, kIdAdd,
                         {{kIdEngineTitle, "Local"}, {kIdEngineLocation, "http://s.example/"}, {kIdEngineQuery, "q=%KEY"}}));
  search->Editor()->Select(1);
  Control<QPushButton>(search, kIdRemove)->click();

  // Another program, while the sheet is open.
  ASSERT_EQ(CEngineSettings::Change("timeout", "45"), "");
  std::vector<SearchEngineItem> theirs = engines;
  theirs.push_back({"Theirs", "http://t.example/", "t=%KEY"});
  ASSERT_TRUE(CSettingsLists::ChangeSearchEngines(engines, theirs));

  Control<QPushButton>(&sheet, kIdOk)->click();
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_EQ(Value("threads"), "7");
  EXPECT_EQ(Value("proxy-port"), "3128");
  EXPECT_EQ(Value("timeout"), "45") << "not changed on the sheet: the other program's value stays";
  std::vector<std::string> titles;
  for (const SearchEngineItem& item : CSettingsLists::SearchEngines()) titles.push_back(item.title);
  std::vector<std::string> expected;
  for (const SearchEngineItem& item : engines) expected.push_back(item.title);
  expected.erase(expected.begin() + 1);
  expected.push_back("Theirs");
  expected.push_back("Local");
  EXPECT_EQ(titles, expected);
  // Back to the defaults in their order for the other tests.
  ASSERT_TRUE(CSettingsLists::ChangeSearchEngines(CSettingsLists::SearchEngines(), {}));
  ASSERT_TRUE(CSettingsLists::ChangeSearchEngines({}, engines));
}

TEST_F(ProgramSheetTest, apply_stores_at_once_and_a_later_cancel_keeps_it) {
  CProgramSheet sheet;
  sheet.Tabs()->setCurrentIndex(2);
  Control<QSpinBox>(&sheet, kIdProxyPort)->setValue(8080);
  EXPECT_EQ(Control(&sheet, kIdThreads)->isVisible(), false);
  Control<QPushButton>(&sheet, kIdApply)->click();
  EXPECT_EQ(Value("proxy-port"), "8080");
  const QByteArray applied = StoreBytes();
  Control<QSpinBox>(&sheet, kIdProxyPort)->setValue(1);
  sheet.reject();
  EXPECT_EQ(Value("proxy-port"), "8080");
  EXPECT_EQ(StoreBytes(), applied);
}

TEST_F(ProgramSheetTest, the_edit_dialogs_refuse_incomplete_or_taken_entries_with_the_engine_s_messages) {
  dlgtest::MessageLog log;
  CProgramSheet sheet;
  VisitAll(sheet);
  auto* search = static_cast<CProgramSearch*>(sheet.Page(3));
  QWidget* passwords = sheet.Page(1);
  ASSERT_TRUE(AddThrough(passwords, kIdAdd, {{kIdRealm, "Members"}, {kIdUser, "ann"}}));
  const QString lycos = "Lycos";
  const struct {
    QWidget* page;
    int button;
    std::map<int, QString> fields;
    const char* message;  // null: accepted
  } cases[] = {
      {search, kIdAdd, {{kIdEngineTitle, "New"}, {kIdEngineQuery, "q=%KEY"}}, "You must specify a search engine location"},
      {search, kIdAdd, {{kIdEngineTitle, "New"}, {kIdEngineLocation, "http://n/"}}, "You must specify a query string"},
      {search, kIdAdd, {{kIdEngineLocation, "http://n/"}, {kIdEngineQuery, "q"}}, "You must specify a name for this search engine"},
      {search, kIdCopy, {{kIdEngineTitle, lycos}}, "A search engine with this name already exists. Choose Modify to edit."},
      // The store knows keys without regard to case: one that differs only so would overwrite.
      {search, kIdCopy, {{kIdEngineTitle, "LYCOS"}}, "A search engine with this name already exists. Choose Modify to edit."},
      {search, kIdModify, {{kIdEngineQuery, "query=%KEY&x=1"}}, nullptr},
      {passwords, kIdAdd, {{kIdRealm, "Other"}}, "You must specify a user name"},
      {passwords, kIdAdd, {{kIdUser, "bob"}}, "You must specify a resource name"},
      {passwords, kIdAdd, {{kIdRealm, "Members"}, {kIdUser, "bob"}}, "This resource already has a username. Choose Modify to edit."},
      {passwords, kIdAdd, {{kIdRealm, "Members"}, {kIdServer, "http://b.example:80"}, {kIdUser, "bob"}}, nullptr},
      {passwords, kIdModify, {{kIdUser, ""}}, "You must specify a user name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message ? c.message : "accepted");
    if (auto* editor = c.page->findChild<CListEditor*>()) editor->Select(c.page == search ? 3 : 0);
    EXPECT_EQ(AddThrough(c.page, c.button, c.fields), c.message == nullptr);
    const std::vector<std::string> messages = log.Take();
    if (c.message)
      EXPECT_EQ(messages, std::vector<std::string>{c.message});
    else
      EXPECT_TRUE(messages.empty());
  }
  search->Editor()->Select(3);
  EXPECT_EQ(Control<QLineEdit>(search, kIdDetailQuery)->text(), "query=%KEY&x=1");
  EXPECT_EQ(static_cast<CProgramPasswords*>(passwords)->findChild<QListWidget*>()->count(), 2);
  sheet.reject();
}

TEST_F(ProgramSheetTest, change_folder_takes_effect_at_once_and_says_so_when_the_folder_cannot_be_made) {
  dlgtest::MessageLog log;
  QTemporaryDir parent;
  QFile blocker(parent.path() + "/file");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  const std::string before = Value("agents-folder");
  QString offered;
  const FolderChooser previous = SetFolderChooser([&](QWidget*, const QString&, const QString&) { return offered; });
  CProgramSheet sheet;
  EXPECT_FALSE(Control<QCheckBox>(&sheet, kIdAutodial)->isEnabled()) << "no dial-up library here";
  EXPECT_FALSE(Control<QCheckBox>(&sheet, kIdAutodial)->isChecked());
  EXPECT_FALSE(Control(&sheet, kIdConnection)->isEnabled());
  auto* folder = Control<QLineEdit>(&sheet, kIdFolder);

  offered = parent.path() + "/file/";
  Control<QPushButton>(&sheet, kIdChangeFolder)->click();
  EXPECT_EQ(log.Take(), std::vector<std::string>{"The folder " + parent.path().toStdString() +
                                                 "/file/Agents can not be created."});
  EXPECT_EQ(Value("agents-folder"), before);

  offered = parent.path() + "/";
  Control<QPushButton>(&sheet, kIdChangeFolder)->click();
  EXPECT_TRUE(log.Take().empty());
  EXPECT_EQ(folder->text(), parent.path() + "/Agents");
  EXPECT_TRUE(QDir(parent.path() + "/Agents").exists());
  EXPECT_EQ(Value("agents-folder"), (parent.path() + "/Agents").toStdString()) << "before the sheet closes";
  sheet.reject();
  EXPECT_EQ(Value("agents-folder"), (parent.path() + "/Agents").toStdString()) << "Cancel does not undo it";
  SetFolderChooser(previous);
  ASSERT_EQ(CEngineSettings::Change("agents-folder", before), "");

  const struct {
    const char* chosen;
    const char* agents;
  } names[] = {{"/", "/Agents"}, {"/home/ann", "/home/ann/Agents"}, {"/home/ann/", "/home/ann/Agents"}};
  for (const auto& n : names) EXPECT_EQ(CProgramConnections::AgentsFolderUnder(n.chosen), n.agents);
}

}  // namespace
