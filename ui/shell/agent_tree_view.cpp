#include "shell/agent_tree_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include "harvion/saf_node.h"
#include "shell/node_bridge.h"
#include "shell/tree_images.h"

namespace hvui {

namespace {

constexpr unsigned long kHiddenPage = 0x80000000UL;  // load information bit 31
constexpr unsigned long kInsertFirst = 0xFFFF0001UL;

}  // namespace

CAgentTreeView::CAgentTreeView(NodeBridge& bridge, QWidget* parent) : QTreeWidget(parent), m_bridge(bridge) {
  setObjectName("agentTree");
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setIconSize(QSize(16, 16));
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed);
  m_renameTimer = new QTimer(this);
  m_renameTimer->setSingleShot(true);
  connect(m_renameTimer, &QTimer::timeout, this, [this] {
    if (m_lastClicked.isValid()) EditLabel(itemFromIndex(m_lastClicked));
  });
  header()->setStretchLastSection(true);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { OnExpansion(item, true); });
  connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) { OnExpansion(item, false); });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    if (m_userInput && current) emit userSelected(IdOf(current));
  });
  connect(this, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { emit itemActivatedById(IdOf(item)); });
  connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] { m_editing = false; });
  bridge.SetView(this);
}

// ---- notifications -----------------------------------------------------------

QTreeWidgetItem* CAgentTreeView::MakeItem(const ItemFacts& facts) {
  const int nodeClass = facts.kind & kNodeKindMask;
  const bool user = (facts.kind & kNodeFlagUserItem) != 0;
  if (nodeClass == kNodeKindPage) {
    if (facts.kind & kNodeFlagEmbedded) return nullptr;
    if ((facts.loadInfo & kHiddenPage) && !user) return nullptr;
  }
  QTreeWidgetItem* parentItem = facts.parentId ? Item(facts.parentId) : nullptr;
  // Below an item the tree does not show, nothing is shown either.
  if (facts.parentId && !parentItem) return nullptr;
  auto* item = new QTreeWidgetItem;
  item->setData(0, kIdRole, QVariant::fromValue<qulonglong>(facts.id));
  item->setData(0, kKindRole, facts.kind);
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  item->setText(0, facts.text);
  SetBold(item, user);
  SetOverlay(item, facts);
  SetImage(item, nodeClass == kNodeKindPage ? PageStateImage(facts.result) : ClosedImage(nodeClass));
  if (nodeClass == kNodeKindPage) SetStatus(item, facts.outcome);
  // Pages go after their siblings; other items where the engine says.
  const bool first = nodeClass != kNodeKindPage && facts.insertPos == kInsertFirst;
  if (parentItem) {
    if (first)
      parentItem->insertChild(0, item);
    else
      parentItem->addChild(item);
  } else {
    addTopLevelItem(item);
  }
  m_items[facts.id] = item;
  return item;
}

void CAgentTreeView::OnAttach(const ItemFacts& facts) {
  if (Item(facts.id)) {
    OnReAttach(facts, (facts.kind & kNodeKindMask) == kNodeKindPage);
    return;
  }
  QTreeWidgetItem* item = MakeItem(facts);
  if (item && !item->parent()) item->setExpanded(true);
}

void CAgentTreeView::OnReAttach(const ItemFacts& facts, bool page) {
  QTreeWidgetItem* item = Item(facts.id);
  if (!item) {
    MakeItem(facts);
    return;
  }
  item->setData(0, kKindRole, facts.kind);
  SetBold(item, (facts.kind & kNodeFlagUserItem) != 0);
  if (!facts.text.isEmpty() && item->text(0) != facts.text && !m_editing) {
    item->setText(0, facts.text);
  }
  // Moved under another folder: the item goes along with its subtree.
  QTreeWidgetItem* parentItem = facts.parentId ? Item(facts.parentId) : nullptr;
  if (parentItem && item->parent() != parentItem) {
    const bool wasCurrent = currentItem() == item;
    QTreeWidgetItem* oldParent = item->parent();
    QTreeWidgetItem* taken = oldParent ? oldParent->takeChild(oldParent->indexOfChild(item))
                                       : takeTopLevelItem(indexOfTopLevelItem(item));
    parentItem->addChild(taken);
    if (wasCurrent) SelectQuietly(taken);
  }
  SetOverlay(item, facts);
  if (page) {
    SetImage(item, PageStateImage(facts.result));
    SetStatus(item, facts.outcome);
  } else {
    SetImage(item, item->data(0, kImageRole).toInt());
  }
}

void CAgentTreeView::OnImage(std::uint64_t id, int image) {
  if (QTreeWidgetItem* item = Item(id)) SetImage(item, image);
}

void CAgentTreeView::SetOverlay(std::uint64_t id, bool overlay) {
  QTreeWidgetItem* item = Item(id);
  if (!item || item->data(0, kOverlayRole).toBool() == overlay) return;
  item->setData(0, kOverlayRole, overlay);
  SetImage(item, item->data(0, kImageRole).toInt());
}

void CAgentTreeView::SetOverlay(QTreeWidgetItem* item, const ItemFacts& facts) {
  item->setData(0, kOverlayRole, ShowsOwnSettings(facts.parentId != 0, facts.kind, facts.loadInfo, facts.scheduleInfo));
}

void CAgentTreeView::OnLoaded(std::uint64_t id, int image, const QString& outcome) {
  QTreeWidgetItem* item = Item(id);
  if (!item) return;
  SetImage(item, image);
  SetStatus(item, outcome);
}

void CAgentTreeView::SetStatus(QTreeWidgetItem* item, const QString& outcome) { item->setToolTip(0, outcome); }

void CAgentTreeView::OnText(std::uint64_t id, const QString& text) {
  QTreeWidgetItem* item = Item(id);
  if (!item || text.isEmpty()) return;
  item->setText(0, text);
}

void CAgentTreeView::OnRefresh(std::uint64_t id) {
  QTreeWidgetItem* item = Item(id);
  if (!item) return;
  setUpdatesEnabled(false);
  while (item->childCount() > 0) {
    QTreeWidgetItem* child = item->takeChild(item->childCount() - 1);
    Forget(child);
    delete child;
  }
  setUpdatesEnabled(true);
}

void CAgentTreeView::OnDetach(std::uint64_t id) {
  QTreeWidgetItem* item = Item(id);
  if (!item) return;
  emit detached(id);
  if (currentItem() == item) setCurrentItem(nullptr);
  Forget(item);
  delete item;
}

void CAgentTreeView::Empty() {
  m_highlighted = nullptr;
  m_items.clear();
  clear();
}

void CAgentTreeView::OnProgress(int done, int total) { emit progress(done, total); }

void CAgentTreeView::Forget(QTreeWidgetItem* item) {
  m_items.erase(IdOf(item));
  for (int i = 0; i < item->childCount(); ++i) Forget(item->child(i));
}

void CAgentTreeView::SetImage(QTreeWidgetItem* item, int image) {
  item->setData(0, kImageRole, image);
  const int nodeClass = ClassOf(item);
  const bool open = HasOpenImage(nodeClass) && item->isExpanded();
  item->setIcon(0, TreeIcon(open ? image + 1 : image, item->data(0, kOverlayRole).toBool()));
}

void CAgentTreeView::SetBold(QTreeWidgetItem* item, bool bold) {
  QFont font = item->font(0);
  if (font.bold() == bold) return;
  font.setBold(bold);
  item->setFont(0, font);
}

void CAgentTreeView::OnExpansion(QTreeWidgetItem* item, bool) {
  SetImage(item, item->data(0, kImageRole).toInt());
}

// ---- lookups -------------------------------------------------------------------

QTreeWidgetItem* CAgentTreeView::Item(std::uint64_t id) const {
  const auto found = m_items.find(id);
  return found == m_items.end() ? nullptr : found->second;
}

std::uint64_t CAgentTreeView::IdOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kIdRole).toULongLong() : 0;
}

int CAgentTreeView::ClassOf(const QTreeWidgetItem* item) {
  return item ? (item->data(0, kKindRole).toInt() & kNodeKindMask) : 0;
}

bool CAgentTreeView::IsFolderLike(const QTreeWidgetItem* item) {
  const int nodeClass = ClassOf(item);
  return nodeClass == kNodeKindAgent || nodeClass == kNodeKindFolder || nodeClass == kNodeKindSearchFolder;
}

std::uint64_t CAgentTreeView::SelectedId() const { return IdOf(currentItem()); }

void CAgentTreeView::SelectQuietly(QTreeWidgetItem* item) {
  const bool user = m_userInput;
  m_userInput = false;
  setCurrentItem(item);
  if (item) scrollToItem(item);
  m_userInput = user;
}

void CAgentTreeView::ExpandAll(QTreeWidgetItem* item) {
  if (!item) return;
  item->setExpanded(true);
  for (int i = 0; i < item->childCount(); ++i) ExpandAll(item->child(i));
}

// ---- the user's input ------------------------------------------------------------

void CAgentTreeView::mousePressEvent(QMouseEvent* event) {
  m_renameTimer->stop();
  const QModelIndex index = indexAt(event->position().toPoint());
  const quint64 since = event->timestamp() - m_lastClickAt;
  m_slowSecondClick = event->button() == Qt::LeftButton && index.isValid() && index == m_lastClicked &&
                      event->timestamp() >= m_lastClickAt && since < kSlowDoubleClickMs;
  m_lastClicked = event->button() == Qt::LeftButton ? QPersistentModelIndex(index) : QPersistentModelIndex();
  m_lastClickAt = event->timestamp();
  m_userInput = true;
  QTreeWidget::mousePressEvent(event);
  m_userInput = false;
}

void CAgentTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  const QModelIndex index = indexAt(event->position().toPoint());
  // Released elsewhere (a drag, a slip) or on the expand button: no rename.
  if (m_slowSecondClick && index == m_lastClicked && visualRect(index).contains(event->position().toPoint()) &&
      state() != DraggingState)
    m_renameTimer->start(QApplication::doubleClickInterval());
  m_slowSecondClick = false;
}

void CAgentTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  m_renameTimer->stop();
  m_slowSecondClick = false;
  m_lastClicked = QPersistentModelIndex();  // a third click starts no rename
  QTreeWidget::mouseDoubleClickEvent(event);
}

void CAgentTreeView::keyPressEvent(QKeyEvent* event) {
  m_userInput = true;
  QTreeWidget::keyPressEvent(event);
  m_userInput = false;
}

void CAgentTreeView::contextMenuEvent(QContextMenuEvent* event) {
  // From the keyboard (the menu key, Shift+F10) the menu is the current item's.
  const bool keyboard = event->reason() == QContextMenuEvent::Keyboard;
  QTreeWidgetItem* item = keyboard ? currentItem() : itemAt(event->pos());
  if (!item) return;
  SelectQuietly(item);
  const QPoint at = keyboard ? viewport()->mapToGlobal(visualItemRect(item).bottomLeft()) : event->globalPos();
  emit contextMenuRequested(IdOf(item), at);
}

}  // namespace hvui
