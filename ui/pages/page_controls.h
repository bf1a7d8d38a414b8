// Naming the pages' controls: the control id as the object name (tests find
// them so) and an accessible name for screen readers.
#pragma once

#include <QString>

class QGridLayout;
class QLabel;
class QWidget;

namespace hvui {

// Object name "id_<id>"; the accessible name is the text without its '&'
// and a final ':'.
void TagControl(QWidget* control, int id, const QString& text);
// A row of the grid: the label (its mnemonic reaching the control) and the
// control beside it. Returns the label.
QLabel* AddLabelledRow(QGridLayout* grid, int row, const QString& text, QWidget* control, int id);

}  // namespace hvui
