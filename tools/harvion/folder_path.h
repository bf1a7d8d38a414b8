// Folders named on the command line: display names from the agent's top
// level down, joined by '/', e.g. "News/Local". Inside a name, "\/" stands
// for '/' and "\\" for '\'; a name holding '/', such as an address, may also
// be written as it is ("News/http://h/x").
#pragma once

#include <string_view>

namespace harvion {

class UITreeNode;

// The first folder (in display order) matching each step; null when no
// folder path matches the whole path.
UITreeNode* FindFolder(UITreeNode& agent, std::string_view path);
// The same for any item: folders, search folders and locations, a location
// named by its name or, when it has none, its address.
UITreeNode* FindItem(UITreeNode& agent, std::string_view path);

}  // namespace harvion
