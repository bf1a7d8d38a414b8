#include "item_path.h"

#include "display_text.h"
#include "harvion/agent_files.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "node_text.h"
#include "ui_tree_node.h"

namespace hvscan {

namespace {

// One step of the path, written as harvion takes it.
std::string Step(const harvion::UITreeNode& item) {
  std::string name = harvion::NodeText(item.m_pNode, itemName);
  if (name.empty() && item.NodeClass() == kNodeKindPage) name = harvion::NodeText(item.m_pNode, itemUrl);
  const std::string quoted = harvion::QuotedFolderName(name);
  return quoted.substr(1, quoted.size() - 2);
}

bool PathTo(const harvion::UITreeNode& from, const CSafNode* target, std::string& path) {
  for (const harvion::UITreeNode* child : from.Children()) {
    std::string below;
    if (child->m_pNode == target || PathTo(*child, target, below)) {
      path = Step(*child) + (below.empty() ? "" : "/" + below);
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> ItemPath(const RunEntry& entry, const std::string& agentFolders,
                                    harvion::HeadlessUIClient& client) {
  std::string folder, name;
  if (!SplitAgentFile(entry.file, folder, name)) return std::nullopt;
  CSafClient::SetUnattended(folder.c_str(), agentFolders.c_str());
  if (!LoadAgentFileToRead(name.c_str())) return std::nullopt;
  std::optional<std::string> path;
  const CSafNode* node = CSafClient::FindAgent(entry.agentId.c_str(), entry.schedule.c_str());
  const harvion::UITreeNode* agent = client.Agent();
  std::string found;
  if (node && agent && (agent->m_pNode == node || PathTo(*agent, node, found))) path = found;
  CSafClient::DeleteAgent();
  return path;
}

}  // namespace hvscan
