// The one tab shown while no node is: "No selection", centred.
#pragma once

#include "pages/property_page.h"

namespace hvui {

class CNoSelection : public CPropertyPage {
  Q_OBJECT
 public:
  CNoSelection(CPageHost& host, QWidget* parent = nullptr);

 protected:
  void Fill() override {}
};

}  // namespace hvui
