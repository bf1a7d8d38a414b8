// Subkeys found by name without a scan of their siblings, for keys with very
// many subkeys (damage, or a hostile file): reading each subkey of such a key
// would otherwise take time growing with the square of their number.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace hv::reg::detail {

struct Key;

class KeyLookup {
 public:
  KeyLookup() = default;
  // The index points into one tree: a copied or moved tree starts without.
  KeyLookup(const KeyLookup&) {}
  KeyLookup(KeyLookup&&) noexcept {}
  KeyLookup& operator=(const KeyLookup&) {
    Clear();
    return *this;
  }
  KeyLookup& operator=(KeyLookup&&) noexcept {
    Clear();
    return *this;
  }

  // The subkey of that name (any case), or null. The index of a parent is
  // built on its first look-up.
  Key* Child(Key& parent, std::string_view name);
  // To be called whenever a key is added or removed anywhere in the tree.
  void Clear() { m_children.clear(); }

 private:
  static std::string Lower(std::string_view name);

  std::unordered_map<const Key*, std::unordered_map<std::string, Key*>> m_children;
};

}  // namespace hv::reg::detail
