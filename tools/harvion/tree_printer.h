// The agent tree as text: one item a line, indented two blanks a level, e.g.
//   agent "News"  [Text and graphics, Links within site, + 1 level]
//     folder "Local"  [Text and graphics, Links within site, + 1 level, inherited]
//       location "Town hall" <http://example.org/>  [...]
#pragma once

#include <ostream>
#include <string>

#include "strategy_names.h"

namespace harvion {

class UITreeNode;

// Kind and name of the item, without its settings.
std::string DescribeItem(const UITreeNode& item);
void PrintTree(std::ostream& out, const UITreeNode& root, const StrategyNames& names);

}  // namespace harvion
