#include "pages/link_levels_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "pages/link_levels.h"

namespace hvui {

std::optional<int> CLinkLevelsDialog::Edit(QWidget* parent, int levels) {
  CLinkLevelsDialog dialog(levels, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Levels();
}

CLinkLevelsDialog::CLinkLevelsDialog(int levels, QWidget* parent) : QDialog(parent), m_levels(new QSpinBox(this)) {
  setObjectName(QStringLiteral("dialog_311"));
  setWindowTitle(tr("Modify Link Levels"));
  auto* prompt = new QLabel(tr("Enter the number of link levels to retrieve:"), this);
  prompt->setObjectName(QStringLiteral("id_%1").arg(kIdPrompt));
  // The spin box keeps the number in range while it is typed.
  m_levels->setRange(0, kMaxLevels);
  m_levels->setValue(std::clamp(levels, 0, kMaxLevels));
  m_levels->setObjectName(QStringLiteral("id_%1").arg(kIdLevels));
  m_levels->setAccessibleName(tr("Link levels"));
  auto* form = new QFormLayout;
  auto* label = new QLabel(tr("&Link levels:"), this);
  label->setBuddy(m_levels);
  form->addRow(label, m_levels);
  auto* hint = new QLabel(tr("0 = Specified Web page only\n1 = Specified Web page plus linked pages\n"
                             "2 = An additional level of linked pages\n..."),
                          this);
  hint->setObjectName(QStringLiteral("id_%1").arg(kIdHint));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("id_1"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("id_2"));
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName(tr("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addLayout(form);
  layout->addWidget(hint);
  layout->addWidget(buttons);
  m_levels->setFocus();
  m_levels->selectAll();
}

void CLinkLevelsDialog::accept() {
  // A number typed but not yet taken counts.
  m_levels->interpretText();
  QDialog::accept();
}

int CLinkLevelsDialog::Levels() const { return m_levels->value(); }

}  // namespace hvui
