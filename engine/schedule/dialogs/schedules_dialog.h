// "Schedules": the list editor over a copy of the schedule list, the name and
// description of the selected schedule, and the switch for unattended runs.
// OK hands the copy back; Cancel drops it, so nothing is stored.
#pragma once

#include <QDialog>
#include <optional>

#include "harvion/schedule_list.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace hvdlg {

class CListEditor;

class CSchedulesDialog : public QDialog {
  Q_OBJECT
 public:
  struct Answer {
    CScheduleList::Book book;
    int selected = -1;
  };
  // The edited list and the schedule selected on OK, nothing on Cancel.
  static std::optional<Answer> Edit(QWidget* parent, const CScheduleList::Book& current, int selected);
  // Reads the stored list, shows it with the schedule at `selected` chosen
  // and stores the user's changes on OK. The index then chosen in the
  // stored list, -1 on Cancel.
  static int Run(QWidget* parent, int selected);

  CSchedulesDialog(const CScheduleList::Book& current, int selected, QWidget* parent = nullptr);
  Answer Value() const;
  CListEditor* Editor() const { return m_editor; }

 private:
  void ShowDetails(int index);

  CScheduleList::Book m_book;
  CListEditor* m_editor;
  QLineEdit* m_name;
  QPlainTextEdit* m_description;
  QCheckBox* m_enabled;
};

}  // namespace hvdlg
