// Label editing of the agent tree: the node checks the name the user typed;
// a refused one is said so and edited again.
#include <QTimer>
#include <string>

#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "shell/agent_tree_view.h"
#include "shell/message_boxes.h"
#include "shell/name_rules.h"
#include "shell/node_bridge.h"
#include "shell/ui_texts.h"

namespace hvui {

namespace {

QString CurrentName(NodeBridge& bridge, std::uint64_t id) {
  std::string name;
  bridge.WithNode(id, [&](CSafNode& node) { name = NodeData(node, itemName); });
  return EngineText(name.c_str());
}

}  // namespace

bool CAgentTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool started = QTreeWidget::edit(index, trigger, event);
  if (started) {
    m_editing = true;
    m_edited = index;
  }
  return started;
}

void CAgentTreeView::commitData(QWidget* editor) {
  // The item of the edit, found before the text reaches it; gone when the
  // engine removed the node meanwhile. The name is checked here, at the end
  // of an edit, and nowhere else: the item also changes for its picture,
  // tooltip and font while a run goes on.
  QTreeWidgetItem* item = m_edited.isValid() ? itemFromIndex(m_edited) : nullptr;
  QTreeWidget::commitData(editor);
  if (item) AcceptName(item);
}

void CAgentTreeView::EditLabel(QTreeWidgetItem* item) {
  if (!item) return;
  scrollToItem(item);
  setCurrentItem(item);
  editItem(item, 0);
}

void CAgentTreeView::EndEditing() {
  if (!m_editing) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
  m_editing = false;
}

void CAgentTreeView::AcceptName(QTreeWidgetItem* item) {
  const std::uint64_t id = IdOf(item);
  const QString typed = item->text(0);
  const QString current = CurrentName(m_bridge, id);
  const auto restore = [&] { item->setText(0, current); };
  if (typed.isEmpty()) {
    restore();
    SelectQuietly(item);
    return;
  }
  if (typed == current) return;
  const bool root = ClassOf(item) == kNodeKindAgent;
  bool taken = false;
  if (IsValidItemName(typed, root, [](const QString& name) {
        return CSafClient::IsAgentMissing(name.toUtf8().constData()) != 0;
      })) {
    const QByteArray bytes = typed.toUtf8();
    m_bridge.WithNode(id, [&](CSafNode& node) { taken = node.SetData(itemName, bytes.constData(), 0) == 1; });
  }
  if (taken) {
    emit renamed(id);
    return;
  }
  restore();
  ShowMessage(this, PluginCaption(), QString::fromLatin1(texts::kInvalidName), QMessageBox::Ok);
  // Edited again once the message is gone and the item has its old name.
  QTimer::singleShot(0, this, [this, id] { EditLabel(Item(id)); });
}

}  // namespace hvui
