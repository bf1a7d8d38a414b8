// A location's "Location" tab: its address, which the user may change on
// an item of their own, when the page was last modified and retrieved, its
// last answer (or why none came), and a button that opens the original.
#pragma once

#include "pages/property_page.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace hvui {

class CAnchorLocation : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CAnchorLocation(CPageHost& host, QWidget* parent = nullptr);

 protected:
  void Fill() override;

 private:
  void SaveAddress();
  void GoToOriginal();

  QLineEdit* m_address;
  QLabel* m_modified;
  QLabel* m_retrieved;
  QLabel* m_status;
  QPushButton* m_original;
};

}  // namespace hvui
