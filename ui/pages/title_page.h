// A tab whose page is still to come: it shows the tab's title only.
#pragma once

#include "pages/property_page.h"

namespace hvui {

class CTitlePage : public CPropertyPage {
  Q_OBJECT
 public:
  CTitlePage(CPageHost& host, const QString& title, QWidget* parent = nullptr);

 protected:
  void Fill() override {}
};

}  // namespace hvui
