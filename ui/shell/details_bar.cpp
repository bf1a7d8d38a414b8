#include "shell/details_bar.h"

#include <QTabWidget>

#include "harvion/global_memory.h"
#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "pages/page_host.h"
#include "pages/page_table.h"
#include "shell/agent_tree_view.h"
#include "shell/node_bridge.h"

namespace hvui {

CDetailsBar::CDetailsBar(NodeBridge& bridge, QWidget* parent)
    : QDockWidget(parent), m_host(new CPageHost(bridge, this)), m_tabs(new QTabWidget(this)) {
  setObjectName("detailsBar");
  setWindowTitle(tr("Details"));
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  m_tabs->setObjectName("tabs_1001");
  setWidget(m_tabs);
  connect(m_tabs, &QTabWidget::currentChanged, this, &CDetailsBar::ShowCurrent);
  ShowNode(0, 0);
}

CDetailsBar::~CDetailsBar() {
  if (m_record) GlobalFree(m_record);
}

QStringList CDetailsBar::TabsFor(int nodeClass) {
  QStringList titles;
  for (const PageEntry& entry : PageTable())
    if (entry.nodeClass == nodeClass) titles << QString::fromLatin1(entry.title);
  if (titles.isEmpty() && nodeClass != 0) return TabsFor(0);
  return titles;
}

void CDetailsBar::ShowNode(std::uint64_t id, int kind) {
  if (!id) kind = 0;
  // The tree knows the node's flags when the caller gave its class only.
  if (id && m_host->Tree())
    if (QTreeWidgetItem* item = m_host->Tree()->Item(id)) kind = item->data(0, CAgentTreeView::kKindRole).toInt();
  int nodeClass = kind & kNodeKindMask;
  if (TabsFor(nodeClass) == TabsFor(0)) nodeClass = 0;
  TakeRecord(id);
  m_id = id;
  m_item = {id, kind};
  setWindowTitle(id ? NodeName(id) : tr("Details"));
  if (nodeClass != m_class) {
    m_class = nodeClass;
    const QSignalBlocker quiet(m_tabs);
    while (m_tabs->count() > 0) {
      QWidget* page = m_tabs->widget(0);
      m_tabs->removeTab(0);
      delete page;
    }
    for (const PageEntry& entry : PageTable()) {
      if (entry.nodeClass != nodeClass) continue;
      CPropertyPage* page = entry.make(*m_host);
      m_tabs->addTab(page, QString::fromLatin1(entry.title));
    }
    m_tabs->setCurrentIndex(0);
  }
  ShowCurrent();
}

CPropertyPage* CDetailsBar::CurrentPage() const { return qobject_cast<CPropertyPage*>(m_tabs->currentWidget()); }

void CDetailsBar::ShowCurrent() {
  if (CPropertyPage* page = CurrentPage()) page->Show(m_item);
}

void CDetailsBar::Forget(std::uint64_t id) {
  if (id == m_id) ShowNode(0, 0);
}

void CDetailsBar::NameChanged(std::uint64_t id, const QString& name) {
  if (id && id == m_id) setWindowTitle(name);
}

QString CDetailsBar::NodeName(std::uint64_t id) const {
  if (m_host->Tree())
    if (QTreeWidgetItem* item = m_host->Tree()->Item(id)) return item->text(0);
  return tr("Details");
}

void CDetailsBar::TakeRecord(std::uint64_t id) {
  if (m_record) GlobalFree(m_record);
  m_record = nullptr;
  if (id) m_host->Bridge().WithNode(id, [this](CSafNode& node) { m_record = node.GetDataHandle(itemRecord); });
}

}  // namespace hvui
