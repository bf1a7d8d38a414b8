// The "Connection" page: dialling before a run and which dial-up entry, the
// number of simultaneous connections and their time-out, keeping connections
// alive, the certificates trusted beside the system's, and the agents folder
// with "Change Folder...", which takes effect at once.
#pragma once

#include <functional>

#include "engine/settings/dialogs/sheet_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace hvdlg {

// Asks for a folder (the Qt folder chooser); empty when the user cancels.
// Tests put their own in place; an empty function restores the chooser.
using FolderChooser = std::function<QString(QWidget* parent, const QString& title, const QString& start)>;
FolderChooser SetFolderChooser(FolderChooser chooser);

class CProgramConnections : public CSheetPage {
  Q_OBJECT
 public:
  explicit CProgramConnections(QWidget* parent = nullptr);
  QString Title() const override;
  void Activate() override;
  bool Store() override;

  // The agents folder under a chosen folder: "<chosen>/Agents".
  static QString AgentsFolderUnder(const QString& chosen);

 private:
  struct Values {
    bool autodial = false;
    QString connection;
    int threads = 4;
    int timeout = 30;
    bool keepAlive = false;
    QString caFile;
  };
  Values Shown() const;
  void FillConnections(const QString& select);
  void UpdateDialControls();
  void RunPhonebook(bool create);
  void ChangeFolder();

  Values m_read;
  bool m_rasAvailable = false;
  QCheckBox* m_autodial;
  QLabel* m_connectionLabel;
  QComboBox* m_connection;
  QPushButton *m_add, *m_properties;
  QSpinBox *m_threads, *m_timeout;
  QCheckBox* m_keepAlive;
  QLineEdit* m_caFile;
  QLineEdit* m_folder;
  QPushButton* m_changeFolder;
};

}  // namespace hvdlg
