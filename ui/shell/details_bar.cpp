#include "shell/details_bar.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "harvion/global_memory.h"
#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "shell/node_bridge.h"

namespace hvui {

namespace {

QWidget* TitlePage(const QString& title) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* label = new QLabel(title, page);
  label->setObjectName("pageTitle");
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  layout->addWidget(label);
  layout->addStretch();
  return page;
}

}  // namespace

CDetailsBar::CDetailsBar(NodeBridge& bridge, QWidget* parent)
    : QDockWidget(parent), m_bridge(bridge), m_tabs(new QTabWidget(this)) {
  setObjectName("detailsBar");
  setWindowTitle(tr("Details"));
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  m_tabs->setObjectName("tabs_1001");
  setWidget(m_tabs);
  ShowNode(0, 0);
}

CDetailsBar::~CDetailsBar() {
  if (m_record) GlobalFree(m_record);
}

QStringList CDetailsBar::TabsFor(int nodeClass) {
  switch (nodeClass) {
    case kNodeKindAgent:
      return {"Retrieval", "Schedule", "Agent", "Author"};
    case kNodeKindPage:
      return {"Retrieval", "Schedule", "Location"};
    case kNodeKindFolder:
    case kNodeKindSearchFolder:
      return {"Retrieval", "Schedule"};
    default:
      return {"No Selection"};
  }
}

void CDetailsBar::ShowNode(std::uint64_t id, int nodeClass) {
  if (!id) nodeClass = 0;
  TakeRecord(id);
  m_id = id;
  if (nodeClass == m_class) return;  // the selected tab stays
  m_class = nodeClass;
  while (m_tabs->count() > 0) {
    QWidget* page = m_tabs->widget(0);
    m_tabs->removeTab(0);
    delete page;
  }
  for (const QString& title : TabsFor(nodeClass)) m_tabs->addTab(TitlePage(title), title);
  m_tabs->setCurrentIndex(0);
}

void CDetailsBar::Forget(std::uint64_t id) {
  if (id == m_id) ShowNode(0, 0);
}

void CDetailsBar::TakeRecord(std::uint64_t id) {
  if (m_record) GlobalFree(m_record);
  m_record = nullptr;
  if (id) m_bridge.WithNode(id, [this](CSafNode& node) { m_record = node.GetDataHandle(itemRecord); });
}

}  // namespace hvui
