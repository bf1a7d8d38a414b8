// "Modify File Types" / "Add File Types" and "Modify Locations" / "Add
// Location": the name, the strategy text and the exclusions of one entry.
// Modify changes the exclusions only; copy makes a new entry of the copied
// one's kind under a name the user may change.
#pragma once

#include <QDialog>
#include <vector>

#include "harvion/dialogs.h"

class QLineEdit;
class QPlainTextEdit;

namespace hvdlg {

class CStrategyEditDialog : public QDialog {
  Q_OBJECT
 public:
  enum class Mode { modify, copy };
  // The strategy text of a kind ("Retrieve text only", ...).
  static QString StrategyText(bool locations, int kind);

  // Edits entry `index` of the list in place (modify) or appends a new entry
  // (copy); true on OK. The list is left as it was on Cancel.
  static bool Edit(QWidget* parent, bool locations, Mode mode, std::vector<StrategyEntry>& list, int index);

  CStrategyEditDialog(bool locations, Mode mode, std::vector<StrategyEntry>& list, int index,
                      QWidget* parent = nullptr);
  void accept() override;

 private:
  bool m_locations;
  Mode m_mode;
  std::vector<StrategyEntry>& m_list;
  int m_index;
  QLineEdit* m_name;
  QLineEdit* m_retrieve;
  QPlainTextEdit* m_exclude;
};

// Exclusions are stored one a line with CR LF between lines; the edit shows
// plain lines.
QString ExclusionsForEdit(const std::string& stored);
std::string ExclusionsForStore(const QString& edited);

}  // namespace hvdlg
