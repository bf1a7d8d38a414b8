// The agent tree: one item per engine node the tree shows, kept up to date
// by the user-interface nodes through the bridge, on the Qt thread.
#pragma once

#include <QTimer>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "shell/tree_item_node.h"

namespace hvui {

class NodeBridge;

class CAgentTreeView : public QTreeWidget {
  Q_OBJECT
 public:
  static constexpr int kIdRole = Qt::UserRole;
  static constexpr int kKindRole = Qt::UserRole + 1;
  static constexpr int kImageRole = Qt::UserRole + 2;
  static constexpr int kOverlayRole = Qt::UserRole + 3;  // the item has settings of its own

  explicit CAgentTreeView(NodeBridge& bridge, QWidget* parent = nullptr);

  // From the user-interface nodes, on the Qt thread.
  void OnAttach(const ItemFacts& facts);
  void OnReAttach(const ItemFacts& facts, bool page);
  void OnImage(std::uint64_t id, int image);
  // Marks the item as one with settings of its own, or clears the mark.
  void SetOverlay(std::uint64_t id, bool overlay);
  // A page's last load: its picture, and how it came out in its tooltip.
  void OnLoaded(std::uint64_t id, int image, const QString& outcome);
  void OnText(std::uint64_t id, const QString& text);
  void OnRefresh(std::uint64_t id);
  void OnDetach(std::uint64_t id);
  void OnProgress(int done, int total);

  // Empties the tree; the nodes of the items report no more to it.
  void Empty();

  QTreeWidgetItem* Item(std::uint64_t id) const;
  static std::uint64_t IdOf(const QTreeWidgetItem* item);
  static int ClassOf(const QTreeWidgetItem* item);
  static bool IsFolderLike(const QTreeWidgetItem* item);
  // The selected item's node number; 0 with no selection.
  std::uint64_t SelectedId() const;
  // The agent's root item, or null.
  QTreeWidgetItem* Root() const { return topLevelItemCount() ? topLevelItem(0) : nullptr; }
  // Selects the item as the program does (not as a user selection).
  void SelectQuietly(QTreeWidgetItem* item);
  // The item and every item below it, expanded.
  void ExpandAll(QTreeWidgetItem* item);
  // Starts editing the item's label.
  void EditLabel(QTreeWidgetItem* item);
  bool Editing() const { return m_editing; }
  // Ends an edit going on, keeping its text.
  void EndEditing();
  NodeBridge& Bridge() const { return m_bridge; }
  // Whether drops are taken now (an agent open and no run); set by the frame.
  void SetDropsAllowed(std::function<bool()> allowed) { m_dropsAllowed = std::move(allowed); }
  // The folder-like item an insert or a drop at the item goes into: the item
  // itself, else its nearest folder-like ancestor, else the root.
  QTreeWidgetItem* FolderFor(QTreeWidgetItem* item) const;

 signals:
  // The user picked another item (mouse or keyboard).
  void userSelected(std::uint64_t id);
  void contextMenuRequested(std::uint64_t id, const QPoint& globalPos);
  void itemActivatedById(std::uint64_t id);
  void progress(int done, int total);
  // The item of the node was renamed by the user and the node took the name.
  void renamed(std::uint64_t id);
  void detached(std::uint64_t id);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  // The end of a label edit with a text: the node checks the name.
  void commitData(QWidget* editor) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QTreeWidgetItem* MakeItem(const ItemFacts& facts);
  void Forget(QTreeWidgetItem* item);
  void SetImage(QTreeWidgetItem* item, int image);
  void SetOverlay(QTreeWidgetItem* item, const ItemFacts& facts);
  // "404 Not Found" or "host name not found" as the page's tooltip; none
  // before any load.
  static void SetStatus(QTreeWidgetItem* item, const QString& outcome);
  // The user's own items are shown in bold.
  static void SetBold(QTreeWidgetItem* item, bool bold);
  void OnExpansion(QTreeWidgetItem* item, bool expanded);
  void AcceptName(QTreeWidgetItem* item);
  Qt::DropAction DropActionFor(QDropEvent* event);
  void Highlight(QTreeWidgetItem* item);
  void MoveInto(std::uint64_t dragged, QTreeWidgetItem* folder);

  NodeBridge& m_bridge;
  std::unordered_map<std::uint64_t, QTreeWidgetItem*> m_items;
  bool m_editing = false;
  QPersistentModelIndex m_edited;  // the item of the last label edit begun
  bool m_userInput = false;    // the selection change comes from the user
  std::uint64_t m_dragId = 0;  // the item being dragged out of this tree
  QTreeWidgetItem* m_highlighted = nullptr;
  std::function<bool()> m_dropsAllowed;
  // A rename by mouse is a slow double click: two clicks on the same item,
  // further apart than a double click and nearer than this. A single click on
  // the item already selected only selects it.
  static constexpr int kSlowDoubleClickMs = 1500;
  QPersistentModelIndex m_lastClicked;
  quint64 m_lastClickAt = 0;
  bool m_slowSecondClick = false;  // the press going on is one
  QTimer* m_renameTimer;           // waits out a real double click
};

}  // namespace hvui
