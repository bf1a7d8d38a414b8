#include "folder_path.h"

#include <string>
#include <vector>

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

UITreeNode* ChildItem(const UITreeNode& parent, std::string_view name) {
  for (UITreeNode* child : parent.Children()) {
    std::string shown = NodeText(child->m_pNode, itemName);
    if (shown.empty() && child->NodeClass() == kNodeKindPage) shown = NodeText(child->m_pNode, itemUrl);
    if (shown == name) return child;
  }
  return nullptr;
}

// The names of the path's steps, escapes undone.
std::vector<std::string> SplitFolderPath(std::string_view path) {
  std::vector<std::string> steps(1);
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '\\' && i + 1 < path.size() && (path[i + 1] == '/' || path[i + 1] == '\\'))
      steps.back().push_back(path[++i]);
    else if (c == '/')
      steps.emplace_back();
    else
      steps.back().push_back(c);
  }
  return steps;
}

}  // namespace

UITreeNode* FindFolder(UITreeNode& agent, std::string_view path) {
  UITreeNode* current = &agent;
  for (const std::string& step : SplitFolderPath(path)) {
    if (step.empty()) return nullptr;
    current = ChildFolder(*current, step);
    if (!current) return nullptr;
  }
  return current;
}

UITreeNode* FindItem(UITreeNode& agent, std::string_view path) {
  UITreeNode* current = &agent;
  for (const std::string& step : SplitFolderPath(path)) {
    if (step.empty()) return nullptr;
    current = ChildItem(*current, step);
    if (!current) return nullptr;
  }
  return current;
}

}  // namespace harvion
