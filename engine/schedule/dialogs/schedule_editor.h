// "Modify Schedule Settings" / "Add Schedule": one schedule's name, kind,
// days and times. Only the controls of the chosen kind show; every change is
// checked at once and "Next update:" previews the next run.
#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "engine/settings/dialogs/list_editor.h"
#include "harvion/schedule_list.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace hvdlg {

class CScheduleEditor : public QDialog {
  Q_OBJECT
 public:
  using Schedule = CScheduleList::Schedule;
  // What the preview shows while the controls do not make a schedule.
  static const char kNoNextRun[];

  // Modify changes schedule `index` of the list in place; add (from the
  // defaults) and copy (from schedule `index`) append a new one. True on
  // OK; on Cancel the list is as it was.
  static bool Edit(QWidget* parent, CListEditor::Mode mode, std::vector<Schedule>& list, int index);

  CScheduleEditor(CListEditor::Mode mode, std::vector<Schedule>& list, int index, QWidget* parent = nullptr);
  void accept() override;

 private:
  int Kind() const;
  // The shown controls as the engine's check takes them.
  CScheduleList::Edit Read() const;
  // After any change: the kind's controls, the copy and the preview.
  void Refresh();

  CListEditor::Mode m_mode;
  std::vector<Schedule>& m_list;
  int m_index;
  Schedule m_copy;  // the schedule as last checked
  bool m_refreshing = false;

  QLineEdit* m_name;
  std::array<QRadioButton*, 4> m_kinds;
  std::array<QCheckBox*, 7> m_days;
  QSpinBox* m_minute;
  QSpinBox* m_period;
  QLineEdit* m_windowStart;
  QLineEdit* m_windowEnd;
  QLineEdit* m_startAt;
  QSpinBox* m_dayOfMonth;
  QLabel* m_nextUpdate;
  // The rows each kind shows.
  QWidget* m_hourlyRow;
  QWidget* m_periodicRow;
  QWidget* m_startRow;
  QWidget* m_monthlyPart;
};

}  // namespace hvdlg
