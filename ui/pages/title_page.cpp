#include "pages/title_page.h"

#include <QLabel>
#include <QVBoxLayout>

namespace hvui {

CTitlePage::CTitlePage(CPageHost& host, const QString& title, QWidget* parent) : CPropertyPage(host, parent) {
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(title, this);
  label->setObjectName("pageTitle");
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  layout->addWidget(label);
  layout->addStretch();
}

}  // namespace hvui
