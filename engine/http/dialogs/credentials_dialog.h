// "Authentication required": the realm that asks, the page's address, the
// user name and the masked password, and whether to keep them with the
// stored passwords.
#pragma once

#include <QDialog>
#include <optional>

#include "harvion/dialogs.h"

class QCheckBox;
class QLineEdit;
class QTimer;

namespace hvdlg {

class CCredentialsDialog : public QDialog {
  Q_OBJECT
 public:
  // Beeps, then asks; the request with the user's answer on OK, nothing on
  // Cancel or once the engine withdrew the question.
  static std::optional<CredentialsRequest> Ask(QWidget* parent, const CredentialsRequest& request);

  explicit CCredentialsDialog(const CredentialsRequest& request, QWidget* parent = nullptr);
  // The request with what the dialog holds now.
  CredentialsRequest Value() const;

 private:
  CredentialsRequest m_request;
  QLineEdit *m_user, *m_password;
  QCheckBox* m_remember;
  QTimer* m_watch;  // closes the dialog once the question is withdrawn
};

}  // namespace hvdlg
