// Texts the engine keeps for a tree item (name, URL), read through GetData.
#pragma once

#include <string>

class CSafNode;

namespace harvion {

// The item's text; empty when the node has no such item.
std::string NodeText(CSafNode* node, int item);

}  // namespace harvion
