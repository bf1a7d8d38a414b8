// Builds the key tree of a settings file as it is parsed. Keys and values are
// found again through an index by parent and name, so a file with very many
// keys or values (damage, or a hostile file) parses in linear time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/registry_file.h"

namespace hv::reg::detail {

class TreeBuilder {
 public:
  using Node = std::size_t;  // a key being built; 0 is the root
  static constexpr Node kRoot = 0;

  TreeBuilder();
  // The key at the path below the root, created with its parents when missing.
  Node Create(const Path& path);
  // A repeated name replaces the earlier value in place, keeping its spelling.
  void PutValue(Node node, Value value);
  void AddRawLine(Node node, std::string line);
  // The root with everything below it; the builder is empty afterwards.
  Key Build();

 private:
  struct Part {
    std::string name;
    std::vector<Entry> entries;
    std::vector<Node> children;  // creation order; always after their parent
  };
  // The index key: the parent node, a kind ('k' key, 'v' value) and the name
  // in lower case.
  static std::string Slot(Node node, char kind, std::string_view name);

  std::vector<Part> m_parts;
  std::unordered_map<std::string, std::size_t> m_index;  // to a node or an entry
};

}  // namespace hv::reg::detail
