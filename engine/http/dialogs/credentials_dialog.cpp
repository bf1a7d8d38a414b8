#include "engine/http/dialogs/credentials_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"

namespace hvdlg {

namespace {
constexpr int kWatchMs = 200;  // how soon a withdrawn question closes
}  // namespace

std::optional<CredentialsRequest> CCredentialsDialog::Ask(QWidget* parent, const CredentialsRequest& request) {
  if (request.withdrawn && *request.withdrawn) return std::nullopt;
  QApplication::beep();
  CCredentialsDialog dialog(request, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  if (request.withdrawn && *request.withdrawn) return std::nullopt;
  return dialog.Value();
}

CCredentialsDialog::CCredentialsDialog(const CredentialsRequest& request, QWidget* parent)
    : QDialog(parent), m_request(request), m_user(new QLineEdit(this)), m_password(new QLineEdit(this)),
      m_remember(new QCheckBox(tr("&Remember this password"), this)), m_watch(new QTimer(this)) {
  setWindowTitle(tr("Authentication required"));
  setObjectName(QStringLiteral("dialog_authentication"));
  // Both come from a server: shown as plain text, never as markup.
  auto* realm = new QLabel(FromEngine(request.realm), this);
  realm->setTextFormat(Qt::PlainText);
  realm->setWordWrap(true);
  Tag(realm, kIdPromptRealm, tr("Resource"));
  auto* url = new QLineEdit(FromEngine(request.url), this);
  url->setReadOnly(true);
  url->setCursorPosition(0);
  m_user->setText(FromEngine(request.user));
  m_password->setText(FromEngine(request.password));
  m_password->setEchoMode(QLineEdit::Password);
  m_remember->setChecked(request.remember);
  Tag(m_remember, kIdPromptRemember, m_remember->text());
  auto* form = new QFormLayout;
  form->addRow(tr("Resource:"), realm);
  AddRow(form, tr("UR&L:"), url, kIdPromptUrl);
  AddRow(form, tr("&User name:"), m_user, kIdPromptUser);
  AddRow(form, tr("&Password:"), m_password, kIdPromptPassword);
  form->addRow(QString(), m_remember);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(OkCancel(this));
  QWidget::setTabOrder(url, m_user);
  QWidget::setTabOrder(m_user, m_password);
  QWidget::setTabOrder(m_password, m_remember);
  (m_user->text().isEmpty() ? m_user : m_password)->setFocus();
  setMinimumWidth(420);
  connect(m_watch, &QTimer::timeout, this, [this] {
    if (m_request.withdrawn && *m_request.withdrawn) reject();
  });
  if (m_request.withdrawn) m_watch->start(kWatchMs);
}

CredentialsRequest CCredentialsDialog::Value() const {
  CredentialsRequest answer = m_request;
  answer.user = ToEngine(m_user->text());
  answer.password = ToEngine(m_password->text());
  answer.remember = m_remember->isChecked();
  return answer;
}

}  // namespace hvdlg
