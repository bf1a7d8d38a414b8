#include "engine/settings/dialogs/dialog_support.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

#include "engine/settings/dialogs/dialog_ids.h"
#include "harvion/exports.h"
#include "harvion/settings_lists.h"

namespace hvdlg {

QString FromEngine(const std::string& bytes) {
  const QByteArray data = QByteArray::fromStdString(bytes);
  const QString text = QString::fromUtf8(data);
  // Not UTF-8: the bytes were Latin-1 text.
  return text.toUtf8() == data ? text : QString::fromLatin1(data);
}

std::string ToEngine(const QString& text) { return text.toUtf8().toStdString(); }

QString Text(unsigned id) { return FromEngine(CSettingsLists::Text(id)); }

void Tag(QWidget* control, int id, const QString& accessibleName) {
  control->setObjectName(QStringLiteral("id_%1").arg(id));
  QString name = accessibleName;
  name.remove(QRegularExpression(QStringLiteral("&(?!&)")));
  control->setAccessibleName(name.trimmed());
}

QLabel* AddRow(QFormLayout* form, const QString& label, QWidget* control, int id) {
  auto* shown = new QLabel(label);
  shown->setBuddy(control);
  Tag(control, id, label);
  form->addRow(shown, control);
  return shown;
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  // Enter and Escape reach them; their letters are left to the dialog's fields.
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
  Tag(buttons->button(QDialogButtonBox::Ok), kIdOk, QStringLiteral("OK"));
  Tag(buttons->button(QDialogButtonBox::Cancel), kIdCancel, QStringLiteral("Cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

void Refuse(const QString& text) { DisplayError(ToEngine(text).c_str(), nullptr); }

void Refuse(unsigned textId) { Refuse(Text(textId)); }

}  // namespace hvdlg
