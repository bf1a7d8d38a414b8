#include "folder_path.h"

#include <string>

#include "harvion/saf_node.h"
#include "node_text.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

// The name a path names the child by: its own, or a location's address.
std::string ShownName(UITreeNode* child, bool foldersOnly) {
  if (foldersOnly && !child->IsFolder()) return {};
  std::string shown = NodeText(child->m_pNode, itemName);
  if (shown.empty() && !foldersOnly && child->NodeClass() == kNodeKindPage) shown = NodeText(child->m_pNode, itemUrl);
  return shown;
}

// Whether the path begins with the name as one step: "\/" and "\\" stand
// for '/' and '\'; a '/' of the name may also stand as it is, so an address
// is named as it is written. rest receives what follows the step's '/', and
// atEnd tells that nothing follows.
bool StepMatches(std::string_view path, const std::string& name, std::string_view& rest, bool& atEnd) {
  const auto escaped = [&path](std::size_t at) {
    return path[at] == '\\' && at + 1 < path.size() && (path[at + 1] == '/' || path[at + 1] == '\\');
  };
  std::size_t at = 0;
  for (const char c : name) {
    if (at < path.size() && escaped(at)) {
      if (path[at + 1] != c) return false;
      at += 2;
    } else if (at < path.size() && path[at] == c) {
      ++at;
    } else {
      return false;
    }
  }
  atEnd = at == path.size();
  if (!atEnd && path[at] != '/') return false;
  rest = atEnd ? std::string_view() : path.substr(at + 1);
  return true;
}

// The first item in display order whose names match the whole path; a step
// that could end at more than one '/' tries each in turn.
UITreeNode* Find(UITreeNode& parent, std::string_view path, bool foldersOnly) {
  for (UITreeNode* child : parent.Children()) {
    const std::string shown = ShownName(child, foldersOnly);
    std::string_view rest;
    bool atEnd = false;
    if (shown.empty() || !StepMatches(path, shown, rest, atEnd)) continue;
    if (atEnd) return child;
    if (UITreeNode* found = Find(*child, rest, foldersOnly)) return found;
  }
  return nullptr;
}

}  // namespace

UITreeNode* FindFolder(UITreeNode& agent, std::string_view path) { return Find(agent, path, true); }

UITreeNode* FindItem(UITreeNode& agent, std::string_view path) { return Find(agent, path, false); }

}  // namespace harvion
