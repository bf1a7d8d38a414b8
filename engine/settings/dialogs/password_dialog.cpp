#include "engine/settings/dialogs/password_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"

namespace hvdlg {

QString PasswordItemName(const PasswordItem& item) {
  const QString realm = FromEngine(item.realm);
  return item.server.empty() ? realm : QStringLiteral("%1 (%2)").arg(realm, FromEngine(item.server));
}

bool CPasswordDialog::Edit(QWidget* parent, CListEditor::Mode mode, std::vector<PasswordItem>& list, int index) {
  if (mode != CListEditor::Mode::add && (index < 0 || index >= static_cast<int>(list.size()))) return false;
  CPasswordDialog dialog(mode, list, index, parent);
  return dialog.exec() == QDialog::Accepted;
}

CPasswordDialog::CPasswordDialog(CListEditor::Mode mode, std::vector<PasswordItem>& list, int index,
                                 QWidget* parent)
    : QDialog(parent), m_mode(mode), m_list(list), m_index(index), m_realm(new QLineEdit(this)),
      m_server(new QLineEdit(this)), m_user(new QLineEdit(this)), m_password(new QLineEdit(this)) {
  const bool modify = mode == CListEditor::Mode::modify;
  setWindowTitle(Text(modify ? kTextModifyPassword : kTextAddPassword));
  setObjectName(QStringLiteral("dialog_password"));
  if (mode != CListEditor::Mode::add) {
    const PasswordItem& item = list[static_cast<std::size_t>(index)];
    m_realm->setText(FromEngine(item.realm));
    m_server->setText(FromEngine(item.server));
    m_user->setText(FromEngine(item.user));
    m_password->setText(FromEngine(item.password));
  }
  m_realm->setReadOnly(modify);
  m_server->setReadOnly(modify);
  m_server->setPlaceholderText(QStringLiteral("http://host:port"));
  m_password->setEchoMode(QLineEdit::Password);
  auto* prompt = new QLabel(tr("Enter the user name and password required for this location:"), this);
  auto* form = new QFormLayout;
  AddRow(form, tr("&Realm name:"), m_realm, kIdRealm);
  AddRow(form, tr("&Server:"), m_server, kIdServer);
  AddRow(form, tr("&User name:"), m_user, kIdUser);
  AddRow(form, tr("&Password:"), m_password, kIdPassword);
  QDialogButtonBox* buttons = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addLayout(form);
  layout->addWidget(buttons);
  (modify ? m_user : m_realm)->setFocus();
}

void CPasswordDialog::accept() {
  const std::string user = ToEngine(m_user->text());
  const std::string password = ToEngine(m_password->text());
  if (user.empty()) return Refuse(kTextNoUser);
  if (m_mode == CListEditor::Mode::modify) {
    PasswordItem& item = m_list[static_cast<std::size_t>(m_index)];
    item.user = user;
    item.password = password;
    return QDialog::accept();
  }
  const std::string realm = ToEngine(m_realm->text().trimmed());
  const std::string server = ToEngine(m_server->text().trimmed());
  if (realm.empty()) return Refuse(kTextNoRealm);
  // One entry per realm of a server.
  for (const PasswordItem& item : m_list)
    if (item.realm == realm && item.server == server) return Refuse(kTextRealmTaken);
  m_list.push_back({realm, server, user, password});
  QDialog::accept();
}

}  // namespace hvdlg
