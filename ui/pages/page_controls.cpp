#include "pages/page_controls.h"

#include <QGridLayout>
#include <QLabel>
#include <QRegularExpression>

namespace hvui {

void TagControl(QWidget* control, int id, const QString& text) {
  control->setObjectName(QStringLiteral("id_%1").arg(id));
  QString name = text;
  name.remove(QRegularExpression(QStringLiteral("&(?!&)")));
  name.replace(QStringLiteral("&&"), QStringLiteral("&"));
  if (name.endsWith(':')) name.chop(1);
  control->setAccessibleName(name);
}

QLabel* AddLabelledRow(QGridLayout* grid, int row, const QString& text, QWidget* control, int id) {
  auto* label = new QLabel(text, grid->parentWidget());
  label->setBuddy(control);
  TagControl(control, id, text);
  grid->addWidget(label, row, 0);
  grid->addWidget(control, row, 1);
  return label;
}

}  // namespace hvui
