// "Modify Password" / "Add Password": realm, server, user name and the masked
// password of one entry of the Passwords page.
#pragma once

#include <QDialog>
#include <vector>

#include "engine/settings/dialogs/list_editor.h"
#include "harvion/settings_lists.h"

class QLineEdit;

namespace hvdlg {

class CPasswordDialog : public QDialog {
  Q_OBJECT
 public:
  // As CSearchEngineDialog::Edit; modify keeps realm and server.
  static bool Edit(QWidget* parent, CListEditor::Mode mode, std::vector<PasswordItem>& list, int index);

  CPasswordDialog(CListEditor::Mode mode, std::vector<PasswordItem>& list, int index, QWidget* parent = nullptr);
  void accept() override;

 private:
  CListEditor::Mode m_mode;
  std::vector<PasswordItem>& m_list;
  int m_index;
  QLineEdit *m_realm, *m_server, *m_user, *m_password;
};

// The name the list shows: the realm, with its server when it has one.
QString PasswordItemName(const PasswordItem& item);

}  // namespace hvdlg
