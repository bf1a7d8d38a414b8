#include "pages/no_selection.h"

#include <QLabel>
#include <QVBoxLayout>

namespace hvui {

CNoSelection::CNoSelection(CPageHost& host, QWidget* parent) : CPropertyPage(host, parent) {
  setObjectName("page_236");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(tr("No selection"), this);
  text->setObjectName("noSelection");
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(text);
}

}  // namespace hvui
