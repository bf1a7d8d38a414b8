#include "tree_contents.h"

#include "contents_page.h"
#include "harvion/saf_node.h"
#include "node_text.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

constexpr unsigned long kHiddenPage = 0x80000000UL;  // load information bit 31

// What the desktop tree shows: no embedded objects, no hidden pages.
bool Shown(const UITreeNode& node) {
  if (node.NodeClass() != kNodeKindPage) return true;
  if (node.m_nKind & kNodeFlagEmbedded) return false;
  return !(node.LoadInfo() & kHiddenPage) || (node.m_nKind & kNodeFlagUserItem);
}

void Walk(ContentsPage& page, const UITreeNode& node) {
  ContentsItem item;
  switch (node.NodeClass()) {
    case kNodeKindAgent: item.kind = ContentsKind::agent; break;
    case kNodeKindFolder: item.kind = ContentsKind::folder; break;
    case kNodeKindSearchFolder: item.kind = ContentsKind::searchFolder; break;
    default:
      item.kind = (node.m_nKind & kNodeFlagUserItem) ? ContentsKind::location : ContentsKind::page;
      item.address = NodeText(node.m_pNode, itemUrl);
      if (item.address.empty()) item.address = node.Url();
      break;
  }
  item.name = NodeText(node.m_pNode, itemName);
  page.Enter(item);
  for (const UITreeNode* child : node.Children())
    if (Shown(*child)) Walk(page, *child);
  page.Leave();
}

}  // namespace

std::string WriteTreeContents(const UITreeNode& root, const std::string& folder, const ChangeReport* lastRun,
                              std::string& error) {
  ContentsPage page(folder, ContentsIndex::OfOpenAgent(), lastRun);
  if (!page.Begin(NodeText(root.m_pNode, itemName))) {
    error = page.Error();
    return {};
  }
  Walk(page, root);
  if (!page.Finish()) {
    error = page.Error();
    return {};
  }
  return page.Path();
}

}  // namespace harvion
