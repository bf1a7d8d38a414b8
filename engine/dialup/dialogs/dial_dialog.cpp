#include "engine/dialup/dialogs/dial_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "harvion/message_target.h"

namespace hvdlg {

int CDialDialog::Run(CRasDialDialog& dial) {
  if (!qApp) return CRasDialDialog::closeCancel;
  if (QThread::currentThread() != qApp->thread()) {
    int result = CRasDialDialog::closeCancel;
    QMetaObject::invokeMethod(qApp, [&] { result = Run(dial); }, Qt::BlockingQueuedConnection);
    return result;
  }
  CDialDialog dialog(dial, QApplication::activeWindow());
  if (const int started = dialog.Start(); started != CRasDialDialog::keepOpen) return started;
  return dialog.exec();
}

CDialDialog::CDialDialog(CRasDialDialog& dial, QWidget* parent)
    : QDialog(parent), m_dial(dial), m_upper(new QLabel(this)), m_lower(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Harvion Plugin/3.01"));
  setObjectName(QStringLiteral("dialog_115"));
  for (QLabel* line : {m_upper, m_lower}) {
    line->setAlignment(Qt::AlignCenter);
    line->setTextFormat(Qt::PlainText);  // the entry's name is the user's text
    line->setMinimumWidth(280);
  }
  m_upper->setText(FromEngine(dial.GetUpperLine()));
  m_upper->setObjectName(QStringLiteral("id_%1").arg(kIdDialUpper));
  m_lower->setObjectName(QStringLiteral("id_%1").arg(kIdDialLower));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
  cancel->setText(QStringLiteral("Cancel"));
  Tag(cancel, kIdCancel, QStringLiteral("Cancel"));
  connect(buttons, &QDialogButtonBox::rejected, this, &CDialDialog::reject);
  buttons->setCenterButtons(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_upper);
  layout->addWidget(m_lower);
  layout->addWidget(buttons);
}

CDialDialog::~CDialDialog() {
  // After this no progress message is queued to the dialog; those queued
  // already go with it.
  if (m_window) DestroyMessageTarget(m_window);
}

int CDialDialog::Start() {
  // The library reports on a thread of its own.
  m_window = CreateMessageTarget([this](UINT message, WPARAM wParam, LPARAM lParam) {
    QMetaObject::invokeMethod(this, [this, message, wParam, lParam] { OnMessage(message, wParam, lParam); },
                              Qt::QueuedConnection);
  });
  return m_dial.OnInitDialog(m_window);
}

void CDialDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const int result = m_dial.OnMessage(message, wParam, lParam);
  m_lower->setText(FromEngine(m_dial.GetLowerLine()));
  if (result != CRasDialDialog::keepOpen) done(result);
}

void CDialDialog::reject() {
  m_dial.OnCancel();
  done(CRasDialDialog::closeCancel);
}

QString CDialDialog::LowerLine() const { return m_lower->text(); }

}  // namespace hvdlg
