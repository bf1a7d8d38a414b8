#include "shell/node_bridge.h"

#include "harvion/saf_client.h"
#include "shell/agent_tree_view.h"

namespace hvui {

NodeBridge::NodeBridge(QObject* parent) : QObject(parent), m_calls(this) {}

void NodeBridge::SetView(CAgentTreeView* view) { m_view = view; }

void NodeBridge::Post(std::function<void(CAgentTreeView&)> call) {
  m_calls.Post([this, call = std::move(call)] {
    if (m_view) call(*m_view);
  });
}

std::uint64_t NodeBridge::Add(CSafNode* node) {
  const std::lock_guard lock(m_mutex);
  const std::uint64_t id = m_nextId++;
  m_nodes.emplace(id, node);
  return id;
}

void NodeBridge::Remove(std::uint64_t id) {
  const std::lock_guard lock(m_mutex);
  m_nodes.erase(id);
}

CSafNode* NodeBridge::Find(std::uint64_t id) const {
  const std::lock_guard lock(m_mutex);
  const auto found = m_nodes.find(id);
  return found == m_nodes.end() ? nullptr : found->second;
}

bool NodeBridge::WithNode(std::uint64_t id, const std::function<void(CSafNode&)>& call) const {
  const CEngineLock lock;
  CSafNode* node = Find(id);
  if (!node) return false;
  call(*node);
  return true;
}

}  // namespace hvui
