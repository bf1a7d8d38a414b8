#include "shell/frame_contents.h"

#include "contents_page.h"
#include "harvion/exports.h"
#include "harvion/saf_node.h"
#include "shell/agent_tree_view.h"
#include "shell/node_bridge.h"

namespace hvui {

namespace {

struct NodeTexts {
  std::string name, url;
};

NodeTexts TextsOf(const CAgentTreeView& tree, const QTreeWidgetItem* item, bool page) {
  NodeTexts texts;
  tree.Bridge().WithNode(CAgentTreeView::IdOf(item), [&](CSafNode& node) {
    texts.name = NodeData(node, itemName);
    if (page) texts.url = NodeData(node, itemUrl);
  });
  return texts;
}

void Walk(const CAgentTreeView& tree, harvion::ContentsPage& page, const QTreeWidgetItem* item) {
  const int kind = item->data(0, CAgentTreeView::kKindRole).toInt();
  harvion::ContentsItem entry;
  switch (kind & kNodeKindMask) {
    case kNodeKindAgent: entry.kind = harvion::ContentsKind::agent; break;
    case kNodeKindFolder: entry.kind = harvion::ContentsKind::folder; break;
    case kNodeKindSearchFolder: entry.kind = harvion::ContentsKind::searchFolder; break;
    default:
      entry.kind = (kind & kNodeFlagUserItem) ? harvion::ContentsKind::location : harvion::ContentsKind::page;
      break;
  }
  NodeTexts texts = TextsOf(tree, item, (kind & kNodeKindMask) == kNodeKindPage);
  entry.name = std::move(texts.name);
  entry.address = std::move(texts.url);
  page.Enter(entry);
  for (int i = 0; i < item->childCount(); ++i) Walk(tree, page, item->child(i));
  page.Leave();
}

}  // namespace

std::string OpenAgentName(const CAgentTreeView& tree) {
  const QTreeWidgetItem* root = tree.Root();
  return root ? TextsOf(tree, root, false).name : std::string();
}

std::string OpenAgentFolder(const CAgentTreeView& tree) {
  const std::string name = OpenAgentName(tree);
  return name.empty() ? std::string() : GetAgentsDirectory() + "/" + name;
}

std::string WriteFrameContents(const CAgentTreeView& tree, const harvion::ChangeReport* lastRun, std::string& error) {
  const QTreeWidgetItem* root = tree.Root();
  const std::string folder = OpenAgentFolder(tree);
  if (!root || folder.empty()) return {};
  harvion::ContentsPage page(folder, harvion::ContentsIndex::OfOpenAgent(), lastRun);
  if (!page.Begin(OpenAgentName(tree))) {
    error = page.Error();
    return {};
  }
  Walk(tree, page, root);
  if (!page.Finish()) {
    error = page.Error();
    return {};
  }
  return page.Path();
}

}  // namespace hvui
