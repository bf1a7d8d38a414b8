// The "Passwords" page: the list editor over a copy of the stored
// passwords, and the selected entry's realm, server, user and masked password.
#pragma once

#include <vector>

#include "engine/settings/dialogs/sheet_page.h"
#include "harvion/settings_lists.h"

class QLineEdit;

namespace hvdlg {

class CListEditor;

class CProgramPasswords : public CSheetPage {
  Q_OBJECT
 public:
  explicit CProgramPasswords(QWidget* parent = nullptr);
  QString Title() const override;
  void Activate() override;
  bool Store() override;
  CListEditor* Editor() const { return m_editor; }

 private:
  void ShowDetails(int index);

  std::vector<PasswordItem> m_shown;  // as read or last stored
  std::vector<PasswordItem> m_list;   // as the user leaves it
  CListEditor* m_editor;
  QLineEdit *m_realm, *m_server, *m_user, *m_password;
};

}  // namespace hvdlg
