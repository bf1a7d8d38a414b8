#include "engine/settings/dialogs/program_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "engine/settings/dialogs/program_connections.h"
#include "engine/settings/dialogs/program_passwords.h"
#include "engine/settings/dialogs/program_proxy.h"
#include "engine/settings/dialogs/program_search.h"

namespace hvdlg {

CProgramSheet::CProgramSheet(QWidget* parent) : QDialog(parent), m_tabs(new QTabWidget(this)) {
  setWindowTitle(Text(kTextSheetCaption));
  setObjectName(QStringLiteral("dialog_program_sheet"));
  Tag(m_tabs, kIdTabs, windowTitle());
  m_pages = {new CProgramConnections, new CProgramPasswords, new CProgramProxy, new CProgramSearch};
  for (CSheetPage* page : m_pages) m_tabs->addTab(page, page->Title());
  auto* buttons = OkCancel(this);
  QPushButton* apply = buttons->addButton(tr("Appl&y"), QDialogButtonBox::ApplyRole);
  Tag(apply, kIdApply, QStringLiteral("Apply"));
  connect(apply, &QPushButton::clicked, this, [this] { Apply(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs);
  layout->addWidget(buttons);
  connect(m_tabs, &QTabWidget::currentChanged, this, &CProgramSheet::ActivateCurrent);
  m_tabs->setCurrentIndex(0);
  ActivateCurrent();
}

void CProgramSheet::Run(QWidget* parent) {
  CProgramSheet sheet(parent);
  sheet.exec();
}

void CProgramSheet::ActivateCurrent() {
  auto* page = static_cast<CSheetPage*>(m_tabs->currentWidget());
  if (!page || page->IsActive()) return;
  page->MarkActive();
  page->Activate();
}

bool CProgramSheet::Apply() {
  for (CSheetPage* page : m_pages) {
    if (!page->IsActive() || page->Store()) continue;
    m_tabs->setCurrentWidget(page);
    return false;
  }
  return true;
}

void CProgramSheet::accept() {
  if (Apply()) QDialog::accept();
}

}  // namespace hvdlg
