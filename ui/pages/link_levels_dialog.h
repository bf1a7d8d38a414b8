// "Modify Link Levels": any number of link levels from 0 to 127, for an item
// that needs more than the Retrieval page's list offers.
#pragma once

#include <QDialog>
#include <optional>

class QSpinBox;

namespace hvui {

class CLinkLevelsDialog : public QDialog {
  Q_OBJECT
 public:
  enum ControlId : int { kIdPrompt = 1001, kIdLevels = 1002, kIdHint = 1003 };

  // The levels entered, or nothing when the user cancels.
  static std::optional<int> Edit(QWidget* parent, int levels);

  CLinkLevelsDialog(int levels, QWidget* parent = nullptr);
  int Levels() const;
  void accept() override;

 private:
  QSpinBox* m_levels;
};

}  // namespace hvui
