#include "folder_path.h"

#include "harvion/saf_node.h"
#include "node_text.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

UITreeNode* ChildFolder(const UITreeNode& parent, std::string_view name) {
  for (UITreeNode* child : parent.Children())
    if (child->IsFolder() && NodeText(child->m_pNode, itemName) == name) return child;
  return nullptr;
}

}  // namespace

UITreeNode* FindFolder(UITreeNode& agent, std::string_view path) {
  UITreeNode* current = &agent;
  while (current) {
    const std::size_t slash = path.find('/');
    const std::string_view step = path.substr(0, slash);
    if (step.empty()) return nullptr;
    current = ChildFolder(*current, step);
    if (slash == std::string_view::npos) return current;
    path.remove_prefix(slash + 1);
  }
  return nullptr;
}

}  // namespace harvion
