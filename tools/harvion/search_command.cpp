// harvion search: a search folder that sends its text to the search engines.
#include <iostream>
#include <string>
#include <strings.h>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "folder_path.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "node_text.h"
#include "strategy_names.h"
#include "tree_printer.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

std::string EngineNames(const UITreeNode& folder) {
  std::string names;
  for (const UITreeNode* child : folder.Children())
    names += (names.empty() ? "" : ", ") + NodeText(child->m_pNode, itemName);
  return names;
}

}  // namespace

void RunSearch(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& agentName = invocation.operands[0];
  std::string text = invocation.operands[1];
  CreateName(text);
  if (text.empty()) throw Failure("no search text given");
  UITreeNode* parent = &OpenAgent(client, agentName);
  if (const std::string* path = invocation.Option("--in")) {
    parent = FindFolder(*parent, *path);
    if (!parent) throw Failure("no folder '" + *path + "' in agent '" + agentName + "'");
  }

  CSafNode* node = CSafClient::CreateSearchCategoryNode(parent->m_pNode, text.c_str(), 0);
  auto* folder = node ? dynamic_cast<UITreeNode*>(node->m_pUINode) : nullptr;
  if (!folder) {
    if (node) node->Remove(0);
    throw Failure("cannot create a search folder for '" + text + "'");
  }
  if (const std::string* engine = invocation.Option("--engine")) {
    std::vector<UITreeNode*> others;
    const UITreeNode* kept = nullptr;
    for (UITreeNode* child : folder->Children()) {
      if (!kept && strcasecmp(NodeText(child->m_pNode, itemName).c_str(), engine->c_str()) == 0)
        kept = child;
      else
        others.push_back(child);
    }
    if (!kept) {
      const std::string names = EngineNames(*folder);
      node->Remove(0);
      throw Failure("no search engine named '" + *engine + "'; there are: " + (names.empty() ? "none" : names));
    }
    for (UITreeNode* other : others) other->m_pNode->Remove(0);
  }
  SaveAgentOrFail(agentName);
  PrintTree(std::cout, *folder, StrategyNames::OfOpenAgent());
}

}  // namespace harvion
