// The Schedules dialog and the schedule editor on the real settings store:
// the controls of each kind, the engine's refusals and the preview, what OK
// and Cancel leave in the store, and a change another program makes while
// the dialog is open.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest/QTest>
#include <algorithm>

#include "engine/schedule/dialogs/schedule_editor.h"
#include "engine/schedule/dialogs/schedules_dialog.h"
#include "engine/settings/dialogs/dialog_ids.h"
#include "harvion/settings.h"
#include "support/dialog_driver.h"

namespace {

using namespace hvdlg;
using dlgtest::Control;
using Mode = CListEditor::Mode;
using Schedule = CScheduleList::Schedule;

QByteArray StoreBytes() {
  QFile file(QString::fromStdString(GetHomeDirectory()) + "/registry.reg");
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The five schedules a fresh profile has: storing none brings them back.
std::vector<Schedule> DefaultSchedules() {
  const CScheduleList::Book stored = CScheduleList::Read();
  CScheduleList::Change(stored, {{}, stored.enabled});
  return CScheduleList::Read().schedules;
}

std::vector<std::string> Names(const std::vector<Schedule>& list) {
  std::vector<std::string> names;
  for (const Schedule& s : list) names.push_back(s.name);
  return names;
}

// As the user types it: the field's text is replaced and the dialog hears it.
void Type(QWidget* in, int id, const QString& text) {
  auto* edit = Control<QLineEdit>(in, id);
  edit->selectAll();
  if (text.isEmpty())
    QTest::keyClick(edit, Qt::Key_Backspace);
  else
    QTest::keyClicks(edit, text);
}

QString Preview(QWidget* editor) { return Control<QLabel>(editor, kIdNextUpdate)->text(); }

TEST(ScheduleEditor, each_kind_shows_its_fields_and_monthly_disables_the_days_keeping_their_marks) {
  std::vector<Schedule> list = DefaultSchedules();
  CScheduleEditor editor(Mode::modify, list, 2);  // "Weekdays": daily at 08:15 AM, Monday to Friday
  const int fields[] = {kIdMinute, kIdPeriod, kIdWindowStart, kIdWindowEnd, kIdStartAt, kIdDayOfMonth};
  const struct {
    int kind;
    std::vector<int> shown;
    bool runs;
  } cases[] = {
      {kIdMonthly, {kIdStartAt, kIdDayOfMonth}, true},
      {kIdHourly, {kIdMinute}, true},
      {kIdPeriodic, {kIdPeriod, kIdWindowStart, kIdWindowEnd}, false},  // its window ends at 12:00 AM
      {kIdDaily, {kIdStartAt}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    Control<QRadioButton>(&editor, c.kind)->click();
    for (const int field : fields)
      EXPECT_EQ(Control(&editor, field)->isVisibleTo(&editor), std::ranges::count(c.shown, field) == 1) << field;
    for (int day = 0; day < 7; ++day) {
      auto* box = Control<QCheckBox>(&editor, kIdSunday + day);
      EXPECT_EQ(box->isEnabled(), c.kind != kIdMonthly);
      EXPECT_EQ(box->isChecked(), day >= 1 && day <= 5);
    }
    EXPECT_EQ(Preview(&editor) != CScheduleEditor::kNoNextRun, c.runs);
  }
  // One start time, whichever row shows it.
  EXPECT_EQ(Control<QLineEdit>(&editor, kIdWindowStart)->text(), "08:15 AM");
  Type(&editor, kIdStartAt, "9:30 pm");
  EXPECT_EQ(Control<QLineEdit>(&editor, kIdWindowStart)->text(), "9:30 pm");
}

TEST(ScheduleEditor, ok_refuses_what_the_engine_refuses_and_the_preview_follows_the_times) {
  dlgtest::MessageLog log;
  const struct {
    const char* what;
    Mode mode;
    int index;
    int kind;
    std::map<int, QString> typed;
    int unchecked;  // days cleared, as a mask
    const char* message;
    bool previewFails;
  } cases[] = {
      {"no name", Mode::add, -1, kIdDaily, {{kIdScheduleName, ""}}, 0,
       "You must specify a name for the schedule", false},
      {"a name in use in another case", Mode::add, -1, kIdHourly, {{kIdScheduleName, "weekly"}}, 0,
       "This name is in use.", false},
      {"a name the store cannot key", Mode::add, -1, kIdHourly, {{kIdScheduleName, "a\\b"}}, 0,
       "A schedule name cannot contain '\\'.", false},
      {"no day", Mode::modify, 2, kIdHourly, {}, 0x7F,
       "You must select at least one day when you want to run this schedule.", true},
      {"no day, but monthly", Mode::modify, 2, kIdMonthly, {}, 0x7F, nullptr, false},
      {"not a time", Mode::modify, 2, kIdDaily, {{kIdStartAt, "25:00 AM"}}, 0,
       "This doesn't seem to be a valid hour specification. Try \"hh:mm xM\" format, where hh is hour, mm is "
       "minute and x=A or P.",
       true},
      {"end before start", Mode::modify, 1, kIdPeriodic, {{kIdWindowStart, "04:00 PM"}, {kIdWindowEnd, "10:00 AM"}},
       0, "Start time must be before end time.", true},
      {"end equal to start", Mode::modify, 1, kIdPeriodic, {{kIdWindowEnd, "10:00 AM"}}, 0,
       "Start time must be before end time.", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Schedule> list = DefaultSchedules();
    const std::vector<Schedule> before = list;
    CScheduleEditor editor(c.mode, list, c.index);
    Control<QRadioButton>(&editor, c.kind)->click();
    for (const auto& [id, text] : c.typed) Type(&editor, id, text);
    for (int day = 0; day < 7; ++day)
      if (c.unchecked & (1 << day)) Control<QCheckBox>(&editor, kIdSunday + day)->setChecked(false);
    EXPECT_EQ(Preview(&editor) == CScheduleEditor::kNoNextRun, c.previewFails);
    Control<QPushButton>(&editor, kIdOk)->click();
    const std::vector<std::string> messages = log.Take();
    if (c.message) {
      EXPECT_EQ(messages, std::vector<std::string>{c.message});
      EXPECT_EQ(editor.result(), 0) << "stays open";
      EXPECT_EQ(Names(list), Names(before));
    } else {
      EXPECT_TRUE(messages.empty()) << messages.front();
      EXPECT_EQ(editor.result(), QDialog::Accepted);
    }
  }
  std::vector<Schedule> list = DefaultSchedules();
  CScheduleEditor copy(Mode::copy, list, 0);
  Control<QPushButton>(&copy, kIdOk)->click();
  EXPECT_EQ(list.back().name, "Copy of Hourly");
  EXPECT_EQ(list.back().minute, 15);
}

TEST(ScheduleEditor, an_hour_past_twelve_with_am_is_that_hour_of_the_day) {
  std::vector<Schedule> list = DefaultSchedules();
  CScheduleEditor editor(Mode::modify, list, 2);
  Type(&editor, kIdStartAt, "13:00 am");
  EXPECT_TRUE(Preview(&editor).endsWith(" 13:00")) << Preview(&editor).toStdString();
  Control<QPushButton>(&editor, kIdOk)->click();
  EXPECT_EQ(list[2].startMinutes, 13 * 60);
  EXPECT_EQ(list[2].description, "At 01:00 PM on every Monday, Tuesday, Wednesday, Thursday, Friday");
}

// Opens the Schedules dialog as CSafClient::Schedules does; `act` drives it.
int RunSchedules(int selected, const std::function<void(CSchedulesDialog&)>& act) {
  int answer = -2;
  EXPECT_TRUE(dlgtest::WithNextModal([&] { answer = CSchedulesDialog::Run(nullptr, selected); },
                                     [&](QDialog* shown) { act(*static_cast<CSchedulesDialog*>(shown)); }));
  return answer;
}

bool EditThrough(CSchedulesDialog& dialog, int button, const std::function<void(QDialog*)>& act) {
  return dlgtest::WithNextModal([&] { Control<QPushButton>(&dialog, button)->click(); },
                                [&](QDialog* editor) {
                                  act(editor);
                                  Control<QPushButton>(editor, kIdOk)->click();
                                });
}

TEST(SchedulesDialog, cancel_after_edits_stores_nothing_and_brings_a_removed_schedule_back) {
  DefaultSchedules();
  const QByteArray before = StoreBytes();
  const int answer = RunSchedules(3, [](CSchedulesDialog& dialog) {
    EXPECT_EQ(Control<QLineEdit>(&dialog, kIdScheduleDetailName)->text(), "Weekly");
    EXPECT_EQ(Control<QPlainTextEdit>(&dialog, kIdScheduleDetailText)->toPlainText(),
              "At 12:17 PM on every Wednesday");
    Control<QPushButton>(&dialog, kIdRemove)->click();
    EXPECT_TRUE(Control<QLineEdit>(&dialog, kIdScheduleDetailName)->text().isEmpty());
    EXPECT_TRUE(EditThrough(dialog, kIdAdd, [](QDialog* editor) { Type(editor, kIdScheduleName, "Nightly"); }));
    dialog.Editor()->Select(0);
    EXPECT_TRUE(EditThrough(dialog, kIdModify, [](QDialog* editor) {
      Control<QSpinBox>(editor, kIdMinute)->setValue(45);
    }));
    Control<QCheckBox>(&dialog, kIdEnableSchedules)->click();
    EXPECT_EQ(Names(dialog.Value().book.schedules),
              (std::vector<std::string>{"Hourly", "Periodically", "Weekdays", "Monthly", "Nightly"}));
    dialog.reject();
  });
  EXPECT_EQ(answer, -1);
  EXPECT_EQ(StoreBytes(), before);
  EXPECT_EQ(Names(CScheduleList::Read().schedules),
            (std::vector<std::string>{"Hourly", "Periodically", "Weekdays", "Weekly", "Monthly"}));
}

TEST(SchedulesDialog, ok_stores_the_user_s_edits_and_keeps_what_another_program_changed_meanwhile) {
  DefaultSchedules();
  const int answer = RunSchedules(-1, [](CSchedulesDialog& dialog) {
    EXPECT_EQ(dialog.Editor()->Selected(), -1);
    // Another program, while the dialog is open.
    EXPECT_EQ(CScheduleList::Add({.name = "Lunch", .kind = CScheduleList::kindDaily, .start = "12:30 PM"}), "");
    EXPECT_EQ(CScheduleList::Modify({.name = "Weekdays", .start = "07:00 AM"}), "");
    EXPECT_EQ(CScheduleList::SetEnabled(true), "");
    dialog.Editor()->Select(3);
    Control<QPushButton>(&dialog, kIdRemove)->click();
    dialog.Editor()->Select(0);
    EXPECT_TRUE(EditThrough(dialog, kIdModify, [](QDialog* editor) {
      Control<QSpinBox>(editor, kIdMinute)->setValue(45);
    }));
    EXPECT_EQ(Control<QPlainTextEdit>(&dialog, kIdScheduleDetailText)->toPlainText(),
              "Every hour, 45 minutes after the hour.");
    dialog.Editor()->Select(3);  // "Monthly", after the removal
    Control<QPushButton>(&dialog, kIdOk)->click();
  });
  const CScheduleList::Book stored = CScheduleList::Read();
  EXPECT_EQ(Names(stored.schedules),
            (std::vector<std::string>{"Hourly", "Periodically", "Weekdays", "Monthly", "Lunch"}));
  EXPECT_EQ(stored.schedules[0].minute, 45);
  EXPECT_EQ(stored.schedules[2].start, "07:00 AM") << "the other program's change stays";
  EXPECT_TRUE(stored.enabled) << "the switch the user left alone is not written";
  EXPECT_EQ(answer, 3);
  CScheduleList::SetEnabled(false);
}

}  // namespace
