// "File Types" and "Locations": the list editor over a working copy of one of
// the agent's strategy lists, with the details of the selected entry. OK
// hands the copy back with the entry selected; Cancel drops it.
#pragma once

#include <QDialog>
#include <optional>

#include "harvion/dialogs.h"

class QLineEdit;
class QPlainTextEdit;

namespace hvdlg {

class CListEditor;

class CStrategyListDialog : public QDialog {
  Q_OBJECT
 public:
  // The edited list on OK, nothing on Cancel.
  static std::optional<StrategyList> Edit(QWidget* parent, bool locations, const StrategyList& current);

  CStrategyListDialog(bool locations, const StrategyList& current, QWidget* parent = nullptr);
  StrategyList Value() const;
  CListEditor* Editor() const { return m_editor; }

 private:
  void ShowDetails(int index);

  bool m_locations;
  StrategyList m_list;
  CListEditor* m_editor;
  QLineEdit* m_name;
  QLineEdit* m_retrieve;
  QPlainTextEdit* m_exclude;
};

}  // namespace hvdlg
