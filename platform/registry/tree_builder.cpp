#include "platform/registry/tree_builder.h"

#include <utility>

namespace hv::reg::detail {

TreeBuilder::TreeBuilder() : m_parts(1) {}

std::string TreeBuilder::Slot(Node node, char kind, std::string_view name) {
  std::string slot = std::to_string(node);
  slot += kind;
  for (char c : name) slot += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return slot;
}

TreeBuilder::Node TreeBuilder::Create(const Path& path) {
  Node node = kRoot;
  for (const std::string& name : path) {
    const auto [it, added] = m_index.try_emplace(Slot(node, 'k', name), m_parts.size());
    if (added) {
      m_parts[node].children.push_back(m_parts.size());
      m_parts.push_back(Part{name, {}, {}});
    }
    node = it->second;
  }
  return node;
}

void TreeBuilder::PutValue(Node node, Value value) {
  std::vector<Entry>& entries = m_parts[node].entries;
  const auto [it, added] = m_index.try_emplace(Slot(node, 'v', value.name), entries.size());
  if (added) {
    entries.push_back(Entry{false, {}, std::move(value)});
    return;
  }
  Value& old = entries[it->second].value;
  value.name = std::move(old.name);
  old = std::move(value);
}

void TreeBuilder::AddRawLine(Node node, std::string line) {
  m_parts[node].entries.push_back(Entry{true, std::move(line), {}});
}

Key TreeBuilder::Build() {
  // Children come after their parents, so walking backwards finds every
  // child finished before its parent takes it.
  std::vector<Key> keys(m_parts.size());
  for (std::size_t i = m_parts.size(); i-- > 0;) {
    Part& part = m_parts[i];
    keys[i].name = std::move(part.name);
    keys[i].entries = std::move(part.entries);
    keys[i].subkeys.reserve(part.children.size());
    for (const Node child : part.children) keys[i].subkeys.push_back(std::move(keys[child]));
  }
  Key root = std::move(keys[kRoot]);
  m_parts.assign(1, Part{});
  m_index.clear();
  return root;
}

}  // namespace hv::reg::detail
