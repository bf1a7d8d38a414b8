#include "engine/settings/dialogs/program_passwords.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "engine/settings/dialogs/list_editor.h"
#include "engine/settings/dialogs/password_dialog.h"

namespace hvdlg {

CProgramPasswords::CProgramPasswords(QWidget* parent)
    : CSheetPage(parent) {
  CListEditor::Owner owner;
  owner.names = [this] {
    QStringList names;
    for (const PasswordItem& item : m_list) names << PasswordItemName(item);
    return names;
  };
  owner.permissions = [](int) { return CListEditor::kMayAll; };
  owner.edit = [this](CListEditor::Mode mode, int index) {
    return CPasswordDialog::Edit(this, mode, m_list, index);
  };
  owner.remove = [this](int index) { m_list.erase(m_list.begin() + index); };
  m_editor = new CListEditor(Text(kTextPasswords), true, std::move(owner), this);
  // Made after the editor, so Tab reaches them after it, as they are placed.
  m_realm = new QLineEdit(this);
  m_server = new QLineEdit(this);
  m_user = new QLineEdit(this);
  m_password = new QLineEdit(this);
  auto* details = new QGroupBox(tr("Details"), this);
  auto* form = new QFormLayout(details);
  AddRow(form, tr("R&ealm name:"), m_realm, kIdDetailRealm);
  AddRow(form, tr("Ser&ver:"), m_server, kIdDetailServer);
  AddRow(form, tr("User &name:"), m_user, kIdDetailUser);
  AddRow(form, tr("Pass&word:"), m_password, kIdDetailPassword);
  m_password->setEchoMode(QLineEdit::Password);
  for (QLineEdit* field : {m_realm, m_server, m_user, m_password}) field->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_editor, 1);
  layout->addWidget(details);
  connect(m_editor, &CListEditor::selectionChanged, this, &CProgramPasswords::ShowDetails);
}

QString CProgramPasswords::Title() const { return tr("Passwords"); }

void CProgramPasswords::Activate() {
  m_shown = CSettingsLists::Passwords();
  m_list = m_shown;
  m_editor->Select(m_list.empty() ? -1 : 0);
}

bool CProgramPasswords::Store() {
  if (m_list == m_shown) return true;
  // A store that cannot be written changes nothing: the user's edits stay on the page.
  if (!CSettingsLists::ChangePasswords(m_shown, m_list)) return true;
  m_shown = m_list;
  return true;
}

void CProgramPasswords::ShowDetails(int index) {
  const bool shown = index >= 0 && index < static_cast<int>(m_list.size());
  const PasswordItem* item = shown ? &m_list[static_cast<std::size_t>(index)] : nullptr;
  m_realm->setText(item ? FromEngine(item->realm) : QString());
  m_server->setText(item ? FromEngine(item->server) : QString());
  m_user->setText(item ? FromEngine(item->user) : QString());
  m_password->setText(item ? FromEngine(item->password) : QString());
}

}  // namespace hvdlg
