// The Retrieval and Schedule pages driven as a user drives them: a choice
// made on a page is the item's at once, in the agent file after the next
// save and in `harvion tree`; the parent's settings on and off; the pictures
// and the tree's mark for an item with settings of its own; the list dialogs
// opened from a page.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <chrono>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/install.h"
#include "harvion/dialogs.h"
#include "pages/anchor_retrieval.h"
#include "pages/anchor_schedule.h"
#include "pages/link_levels_dialog.h"
#include "shell/details_bar.h"
#include "shell/plugin_client.h"
#include "support/child_process.h"
#include "support/dialog_driver.h"
#include "support/frame_fixture.h"

namespace {

using dlgtest::Control;
using hvui::CAgentTreeView;
using hvui::CAnchorRetrieval;
using hvui::CAnchorSchedule;
using hvuitest::WaitFor;

class RetrievalPages : public hvuitest::FrameTest {
 protected:
  void SetUp() override {
    m_before = SetEngineDialogs({});
    hvdlg::InstallEngineDialogs();
    FrameTest::SetUp();
  }
  void TearDown() override {
    hvui::PluginClient::DeleteAgentFile();
    FrameTest::TearDown();
    SetEngineDialogs(m_before);
  }

  QTreeWidgetItem* NewFolder() {
    m_frame->OnCommand(hvui::kCmdNewFolder);
    EXPECT_TRUE(WaitFor([&] { return Child(Root(), "New Folder") != nullptr; }));
    Tree().EndEditing();
    return Child(Root(), "New Folder");
  }
  // The item in the details bar with the tab of the page shown.
  template <class Page>
  Page* Show(QTreeWidgetItem* item) {
    hvui::CDetailsBar& bar = *m_frame->Details();
    bar.ShowNode(CAgentTreeView::IdOf(item), item->data(0, CAgentTreeView::kKindRole).toInt());
    for (int i = 0; i < bar.Tabs()->count(); ++i) {
      if (auto* page = qobject_cast<Page*>(bar.Tabs()->widget(i))) {
        bar.Tabs()->setCurrentIndex(i);
        return page;
      }
    }
    ADD_FAILURE() << "no such tab";
    return nullptr;
  }
  // The entry picked from the list as a user picks it.
  static void Pick(QWidget* page, int id, const QString& text) {
    auto* list = Control<QComboBox>(page, id);
    const int index = list->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    ASSERT_TRUE(list->isEnabled()) << text.toStdString();
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
  static QString Shown(QWidget* page, int id) { return Control<QComboBox>(page, id)->currentText(); }
  static bool Overlay(QTreeWidgetItem* item) { return item->data(0, CAgentTreeView::kOverlayRole).toBool(); }

  // `harvion tree` of the agent as saved.
  std::string HarvionTree() {
    hvui::PluginClient::SaveAgentFile();
    const hvtest::ProgramResult result =
        hvtest::RunProgram({HARVION_TOOL, "tree", m_frame->AgentName().toStdString()}, std::chrono::seconds(30));
    EXPECT_EQ(result.status, 0) << result.output;
    return result.output;
  }

  // With HARVION_DIALOG_SHOTS set to a folder, the window as it stands.
  void Shoot(const char* name) {
    const QByteArray folder = qgetenv("HARVION_DIALOG_SHOTS");
    if (folder.isEmpty()) return;
    m_frame->resize(560, 520);
    m_frame->show();
    hvuitest::Drain();
    EXPECT_TRUE(m_frame->grab().save(QString::fromLocal8Bit(folder) + "/" + name, "PNG")) << name;
  }

  EngineDialogs m_before;
};

TEST_F(RetrievalPages, choices_on_the_retrieval_page_are_saved_and_shown_by_harvion_tree) {
  NewAgent("Choices");
  QTreeWidgetItem* folder = NewFolder();
  auto* page = Show<CAnchorRetrieval>(folder);
  ASSERT_NE(page, nullptr);
  auto* inherit = Control<QCheckBox>(page, CAnchorRetrieval::kIdInherit);
  ASSERT_TRUE(inherit->isChecked() && inherit->isEnabled()) << "a new folder takes its parent's settings";
  EXPECT_FALSE(Overlay(folder));

  inherit->click();
  Pick(page, CAnchorRetrieval::kIdRetrieve, "All files");
  Pick(page, CAnchorRetrieval::kIdFollow, "+ 3 levels");
  Pick(page, CAnchorRetrieval::kIdConfine, "Links within directory");
  Control<QCheckBox>(page, CAnchorRetrieval::kIdAnyServer)->click();
  EXPECT_EQ(page->ConfinePicture(), 2 + 5 * 3);
  EXPECT_EQ(page->FileTypePicture(), 3);
  EXPECT_TRUE(Overlay(folder));
  EXPECT_NE(HarvionTree().find(
                "folder \"New Folder\"  [All files, Links within directory, + 3 levels, requisites from any server]"),
            std::string::npos);

  // Shown again, the page has what was chosen.
  Show<CAnchorRetrieval>(Root());
  page = Show<CAnchorRetrieval>(folder);
  EXPECT_EQ(Shown(page, CAnchorRetrieval::kIdRetrieve), "All files");
  EXPECT_EQ(Shown(page, CAnchorRetrieval::kIdFollow), "+ 3 levels");
  EXPECT_EQ(Shown(page, CAnchorRetrieval::kIdConfine), "Links within directory");
  Tree().setCurrentItem(folder);
  Shoot("page-retrieval.png");
}

TEST_F(RetrievalPages, a_number_of_levels_entered_is_kept_when_another_choice_is_made) {
  NewAgent("Levels");
  auto* page = Show<CAnchorRetrieval>(Root());
  ASSERT_NE(page, nullptr);
  const struct {
    int typed;
    QString shown;
    int entries;
  } cases[] = {{127, "All levels", 7}, {8, "+ 8 levels", 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    ASSERT_TRUE(dlgtest::WithNextModal(
        [&] { Control<QPushButton>(page, CAnchorRetrieval::kIdEditLevels)->click(); },
        [&](QDialog* dialog) {
          Control<QSpinBox>(dialog, hvui::CLinkLevelsDialog::kIdLevels)->setValue(c.typed);
          Control<QPushButton>(dialog, 1)->click();
        }));
    EXPECT_EQ(Shown(page, CAnchorRetrieval::kIdFollow), c.shown);
    EXPECT_EQ(Control<QComboBox>(page, CAnchorRetrieval::kIdFollow)->count(), c.entries);
  }
  // The extra entry stands for its own number, not for its place.
  Pick(page, CAnchorRetrieval::kIdConfine, "Links within site");
  EXPECT_EQ(Shown(page, CAnchorRetrieval::kIdFollow), "+ 8 levels");
  ASSERT_TRUE(dlgtest::WithNextModal([&] { Control<QPushButton>(page, CAnchorRetrieval::kIdEditLevels)->click(); },
                                     [](QDialog* dialog) { dialog->reject(); }));
  EXPECT_NE(HarvionTree().find("[Text and graphics, Links within site, + 8 levels]"), std::string::npos);
}

TEST_F(RetrievalPages, the_parent_s_settings_turn_the_lists_off_and_the_mark_follows_both_pages) {
  NewAgent("Inherit");
  QTreeWidgetItem* folder = NewFolder();
  const int lists[] = {CAnchorRetrieval::kIdRetrieve,  CAnchorRetrieval::kIdEditFileTypes,
                       CAnchorRetrieval::kIdFollow,    CAnchorRetrieval::kIdEditLevels,
                       CAnchorRetrieval::kIdConfine,   CAnchorRetrieval::kIdEditLocations,
                       CAnchorRetrieval::kIdAnyServer};
  const struct {
    bool retrievalOwn, scheduleOwn;
  } cases[] = {{true, false}, {false, true}, {true, true}, {false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.retrievalOwn) + std::to_string(c.scheduleOwn));
    auto* retrieval = Show<CAnchorRetrieval>(folder);
    if (Control<QCheckBox>(retrieval, CAnchorRetrieval::kIdInherit)->isChecked() == c.retrievalOwn)
      Control<QCheckBox>(retrieval, CAnchorRetrieval::kIdInherit)->click();
    for (const int id : lists) EXPECT_EQ(Control(retrieval, id)->isEnabled(), c.retrievalOwn) << id;
    auto* schedule = Show<CAnchorSchedule>(folder);
    auto* followParent = Control<QCheckBox>(schedule, CAnchorSchedule::kIdInherit);
    if (c.scheduleOwn && followParent->isChecked()) {
      followParent->click();
      Pick(schedule, CAnchorSchedule::kIdUpdate, "Weekdays");
    } else if (!c.scheduleOwn && !followParent->isChecked()) {
      followParent->click();
    }
    EXPECT_EQ(followParent->isChecked(), !c.scheduleOwn);
    EXPECT_EQ(Control(schedule, CAnchorSchedule::kIdUpdate)->isEnabled(), c.scheduleOwn);
    EXPECT_EQ(Control(schedule, CAnchorSchedule::kIdEditSchedules)->isEnabled(), c.scheduleOwn);
    EXPECT_EQ(Overlay(folder), c.retrievalOwn || c.scheduleOwn);
  }
  // The agent has no parent to follow.
  auto* agent = Show<CAnchorRetrieval>(Root());
  EXPECT_FALSE(Control(agent, CAnchorRetrieval::kIdInherit)->isEnabled());
  EXPECT_TRUE(Control(agent, CAnchorRetrieval::kIdRetrieve)->isEnabled());
  EXPECT_FALSE(Control(Show<CAnchorSchedule>(Root()), CAnchorSchedule::kIdInherit)->isEnabled());
  EXPECT_FALSE(Overlay(Root()));
}

TEST_F(RetrievalPages, a_list_edited_from_the_page_is_refilled_and_its_choice_is_the_item_s) {
  NewAgent("Lists");
  auto* page = Show<CAnchorRetrieval>(Root());
  ASSERT_NE(page, nullptr);
  const struct {
    int button, list;
    bool ok;
    QString shown;
    int entries;
  } cases[] = {
      {CAnchorRetrieval::kIdEditFileTypes, CAnchorRetrieval::kIdRetrieve, true, "Copy of Text and graphics", 5},
      {CAnchorRetrieval::kIdEditLocations, CAnchorRetrieval::kIdConfine, false, "Links within site", 5},
      {CAnchorRetrieval::kIdEditLocations, CAnchorRetrieval::kIdConfine, true, "Copy of Links within site", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown.toStdString());
    ASSERT_TRUE(dlgtest::WithNextModal([&] { Control<QPushButton>(page, c.button)->click(); }, [&](QDialog* list) {
      dlgtest::WithNextModal([&] { Control<QPushButton>(list, hvdlg::kIdCopy)->click(); },
                             [](QDialog* edit) { dlgtest::FillAndOk(edit, {}); });
      Control<QPushButton>(list, c.ok ? hvdlg::kIdOk : hvdlg::kIdCancel)->click();
    }));
    EXPECT_EQ(Shown(page, c.list), c.shown);
    EXPECT_EQ(Control<QComboBox>(page, c.list)->count(), c.entries);
  }
  EXPECT_NE(HarvionTree().find("[Copy of Text and graphics, Copy of Links within site,"), std::string::npos);
}

TEST_F(RetrievalPages, a_schedule_chosen_is_saved_and_an_item_following_its_parent_shows_the_parent_s_next_run) {
  NewAgent("Schedules");
  QTreeWidgetItem* folder = NewFolder();
  auto* agent = Show<CAnchorSchedule>(Root());
  ASSERT_NE(agent, nullptr);
  EXPECT_EQ(Control<QComboBox>(agent, CAnchorSchedule::kIdUpdate)->itemText(0), "Manually (not scheduled)");
  EXPECT_EQ(Control<QLabel>(agent, CAnchorSchedule::kIdNextUpdate)->text(), "Not scheduled");
  EXPECT_EQ(Control<QLabel>(agent, CAnchorSchedule::kIdLastUpdate)->text(), "N/A");
  Pick(agent, CAnchorSchedule::kIdUpdate, "Hourly");
  const QString agentNext = Control<QLabel>(agent, CAnchorSchedule::kIdNextUpdate)->text();
  EXPECT_NE(agentNext, "Not scheduled");

  auto* page = Show<CAnchorSchedule>(folder);
  EXPECT_EQ(Shown(page, CAnchorSchedule::kIdUpdate), "Hourly");
  EXPECT_EQ(Control<QLabel>(page, CAnchorSchedule::kIdNextUpdate)->text(), agentNext);
  const struct {
    QString picked;
    bool inherits;
    const char* line;
  } cases[] = {
      {"Weekdays", false, "folder \"New Folder\"  [Text and graphics, Links within site, + 1 level, inherited]  schedule \"Weekdays\""},
      // No schedule of its own is its parent's again.
      {"Manually (not scheduled)", true, "folder \"New Folder\"  [Text and graphics, Links within site, + 1 level, inherited]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.picked.toStdString());
    auto* followParent = Control<QCheckBox>(page, CAnchorSchedule::kIdInherit);
    if (followParent->isChecked()) followParent->click();
    Pick(page, CAnchorSchedule::kIdUpdate, c.picked);
    EXPECT_EQ(followParent->isChecked(), c.inherits);
    const std::string tree = HarvionTree();
    EXPECT_NE(tree.find(c.line), std::string::npos) << tree;
    if (!c.inherits) {
      Tree().setCurrentItem(folder);
      Shoot("page-schedule.png");
    }
  }
  // Cancel in the Schedules dialog keeps the item's schedule.
  Pick(Show<CAnchorSchedule>(Root()), CAnchorSchedule::kIdUpdate, "Weekly");
  agent = Show<CAnchorSchedule>(Root());
  dlgtest::WithNextModal([&] { Control<QPushButton>(agent, CAnchorSchedule::kIdEditSchedules)->click(); },
                         [](QDialog* dialog) { dialog->reject(); });
  EXPECT_EQ(Shown(agent, CAnchorSchedule::kIdUpdate), "Weekly");
}

}  // namespace
