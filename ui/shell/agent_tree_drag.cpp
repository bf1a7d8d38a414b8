// Dragging pages out of the agent tree and dropping items and links into it.
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "shell/agent_tree_view.h"
#include "shell/drag_formats.h"
#include "shell/node_bridge.h"
#include "shell/plugin_client.h"

namespace hvui {

namespace {

bool IsWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
  for (; item; item = item->parent())
    if (item == ancestor) return true;
  return false;
}

}  // namespace

QTreeWidgetItem* CAgentTreeView::FolderFor(QTreeWidgetItem* item) const {
  while (item && !IsFolderLike(item)) item = item->parent();
  return item ? item : Root();
}

void CAgentTreeView::startDrag(Qt::DropActions) {
  QTreeWidgetItem* item = currentItem();
  if (!item || ClassOf(item) != kNodeKindPage) return;
  const std::uint64_t id = IdOf(item);
  QByteArray url;
  m_bridge.WithNode(id, [&](CSafNode& node) { url = QByteArray::fromStdString(NodeData(node, itemUrl)); });
  if (url.isEmpty()) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(MakePageDragData(item->text(0), url));
  drag->setPixmap(item->icon(0).pixmap(16, 16));
  // While it runs a drop in this tree is a move.
  m_dragId = id;
  drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
  m_dragId = 0;
}

Qt::DropAction CAgentTreeView::DropActionFor(QDropEvent* event) {
  const bool fromHere = event->source() == this && m_dragId != 0;
  const bool allowed = Root() && (!m_dropsAllowed || m_dropsAllowed());
  return DropEffect(event->mimeData(), fromHere, allowed);
}

void CAgentTreeView::Highlight(QTreeWidgetItem* item) {
  if (m_highlighted == item) return;
  if (m_highlighted && Item(IdOf(m_highlighted)) == m_highlighted) m_highlighted->setBackground(0, QBrush());
  m_highlighted = item;
  if (item) item->setBackground(0, palette().highlight().color().lighter(170));
}

void CAgentTreeView::dragEnterEvent(QDragEnterEvent* event) {
  const Qt::DropAction action = DropActionFor(event);
  if (action == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
}

void CAgentTreeView::dragMoveEvent(QDragMoveEvent* event) {
  const Qt::DropAction action = DropActionFor(event);
  if (action == Qt::IgnoreAction) {
    Highlight(nullptr);
    event->ignore();
    return;
  }
  Highlight(FolderFor(itemAt(event->position().toPoint())));
  event->setDropAction(action);
  event->accept();
}

void CAgentTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
  Highlight(nullptr);
  event->accept();
}

void CAgentTreeView::dropEvent(QDropEvent* event) {
  Highlight(nullptr);
  const Qt::DropAction action = DropActionFor(event);
  QTreeWidgetItem* folder = FolderFor(itemAt(event->position().toPoint()));
  if (action == Qt::IgnoreAction || !folder) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
  if (action == Qt::MoveAction) {
    MoveInto(m_dragId, folder);
    return;
  }
  const DropOffer offer = ReadDrop(event->mimeData());
  if (!offer.acceptable) return;
  const QByteArray name = offer.name.toUtf8();
  m_bridge.WithNode(IdOf(folder), [&](CSafNode& node) {
    PluginClient::CreateHTMLNode(&node, name.constData(), offer.url.constData(), 0);
  });
}

void CAgentTreeView::MoveInto(std::uint64_t dragged, QTreeWidgetItem* folder) {
  QTreeWidgetItem* item = Item(dragged);
  if (!item) return;
  // Onto itself, into its own folder or into its own subtree: only selected.
  if (IsWithin(folder, item) || item->parent() == folder) {
    SelectQuietly(item);
    return;
  }
  const std::uint64_t target = IdOf(folder);
  {
    const CEngineLock lock;
    CSafNode* node = m_bridge.Find(dragged);
    CSafNode* parent = m_bridge.Find(target);
    if (!node || !parent) return;
    node->SetValue(itemUserItem, 1);
    PluginClient::TransferNode(node, parent);
  }
  // The tree has the item under its new folder once the queued calls ran.
  QTimer::singleShot(0, this, [this, dragged] {
    if (QTreeWidgetItem* moved = Item(dragged)) SelectQuietly(moved);
  });
}

}  // namespace hvui
