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
  if (started) m_editing = true;
  return started;
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

void CAgentTreeView::OnItemChanged(QTreeWidgetItem* item, int) {
  if (m_settingText) return;
  AcceptName(item);
}

void CAgentTreeView::AcceptName(QTreeWidgetItem* item) {
  const std::uint64_t id = IdOf(item);
  const QString typed = item->text(0);
  const QString current = CurrentName(m_bridge, id);
  const auto restore = [&] {
    m_settingText = true;
    item->setText(0, current);
    m_settingText = false;
  };
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
