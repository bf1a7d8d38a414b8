// Folders named on the command line: display names from the agent's top
// level down, joined by '/', e.g. "News/Local". Inside a name, "\/" stands
// for '/' and "\\" for '\'.
#pragma once

#include <string_view>

namespace harvion {

class UITreeNode;

// The first folder (in display order) matching each step; null when a step
// matches nothing or the path has an empty step.
UITreeNode* FindFolder(UITreeNode& agent, std::string_view path);
// The same for any item: folders, search folders and locations, a location
// named by its name or, when it has none, its address.
UITreeNode* FindItem(UITreeNode& agent, std::string_view path);

}  // namespace harvion
