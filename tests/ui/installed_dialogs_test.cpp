// The desktop program with the engine's dialogs installed: "Plugin
// Options..." opens the settings sheet, a strategy list edited in its
// dialog is the open agent's list at once, and "Schedules..." changes the
// schedule names the program offers.
#include <QAction>
#include <QSignalSpy>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/install.h"
#include "harvion/dialogs.h"
#include "harvion/ras_dial_dialog.h"
#include "harvion/schedule_list.h"
#include "shell/plugin_client.h"
#include "support/dialog_driver.h"
#include "support/frame_fixture.h"

namespace {

using dlgtest::Control;

class InstalledDialogs : public hvuitest::FrameTest {
 protected:
  void SetUp() override {
    m_before = SetEngineDialogs({});
    m_dialBefore = SetRasDialDialogRunner({});
    hvdlg::InstallEngineDialogs();
    FrameTest::SetUp();
  }
  void TearDown() override {
    FrameTest::TearDown();
    SetEngineDialogs(m_before);
    SetRasDialDialogRunner(m_dialBefore);
  }
  EngineDialogs m_before;
  RasDialDialogRunner m_dialBefore;
};

TEST_F(InstalledDialogs, plugin_options_opens_the_sheet_and_an_edited_location_list_is_the_agent_s) {
  NewAgent("Dialogs");
  QAction* options = m_frame->findChild<QAction*>(QStringLiteral("cmd_%1").arg(hvui::kCmdPluginOptions));
  ASSERT_TRUE(options && options->isEnabled());
  QString title;
  EXPECT_TRUE(dlgtest::WithNextModal([&] { options->trigger(); }, [&](QDialog* sheet) {
    title = sheet->windowTitle();
    sheet->reject();
  }));
  EXPECT_EQ(title, "Plugin Settings");

  // With nothing chosen, OK chooses nothing.
  for (const auto open : {&hvui::PluginClient::FileTypes, &hvui::PluginClient::Constraints}) {
    int none = -2;
    dlgtest::WithNextModal([&] { none = open(-1); },
                           [](QDialog* list) { Control<QPushButton>(list, hvdlg::kIdOk)->click(); });
    EXPECT_EQ(none, -1);
  }

  int answer = -2;
  dlgtest::WithNextModal([&] { answer = hvui::PluginClient::Constraints(1); }, [&](QDialog* list) {
    dlgtest::WithNextModal([&] { Control<QPushButton>(list, hvdlg::kIdCopy)->click(); },
                           [](QDialog* edit) { dlgtest::FillAndOk(edit, {}); });
    Control<QPushButton>(list, hvdlg::kIdOk)->click();
  });
  EXPECT_EQ(answer, 5);
  QVector<int> values;
  QStringList names;
  ASSERT_TRUE(hvui::TakeValueList(hvui::PluginClient::GetConstraintList(), values, names));
  EXPECT_EQ(names.value(5), "Copy of Links within site");
  EXPECT_EQ(values.value(5), 1);
  hvui::PluginClient::DeleteAgentFile();
}

TEST_F(InstalledDialogs, schedules_opens_from_the_options_menu_and_the_names_offered_follow_at_once) {
  NewAgent("Schedules");
  QAction* schedules = m_frame->findChild<QAction*>(QStringLiteral("cmd_%1").arg(hvui::kCmdSchedules));
  ASSERT_TRUE(schedules && schedules->isEnabled());
  QSignalSpy changed(m_frame->Client(), &hvui::PluginClient::schedulesChanged);
  EXPECT_TRUE(dlgtest::WithNextModal([&] { schedules->trigger(); }, [&](QDialog* dialog) {
    dlgtest::WithNextModal([&] { Control<QPushButton>(dialog, hvdlg::kIdAdd)->click(); },
                           [](QDialog* editor) { dlgtest::FillAndOk(editor, {{hvdlg::kIdScheduleName, "Nightly"}}); });
    Control<QPushButton>(dialog, hvdlg::kIdOk)->click();
  }));
  EXPECT_EQ(m_frame->Client()->ScheduleNames().last(), "Nightly");
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(CScheduleList::Remove("Nightly"), "");
  hvui::PluginClient::DeleteAgentFile();
}

}  // namespace
