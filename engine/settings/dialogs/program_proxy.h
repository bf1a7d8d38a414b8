// The "Proxy" page: the proxy's host and port, and whether requests go
// through it.
#pragma once

#include "engine/settings/dialogs/sheet_page.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace hvdlg {

class CProgramProxy : public CSheetPage {
  Q_OBJECT
 public:
  explicit CProgramProxy(QWidget* parent = nullptr);
  QString Title() const override;
  void Activate() override;
  bool Store() override;

 private:
  struct Values {
    QString server;
    int port = 0;
    bool use = false;
  };
  Values Shown() const;

  Values m_read;
  // In the order Tab reaches them.
  QCheckBox* m_use;
  QLineEdit* m_server;
  QSpinBox* m_port;
};

}  // namespace hvdlg
