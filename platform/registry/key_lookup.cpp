#include "platform/registry/key_lookup.h"

#include "platform/registry/registry_file.h"

namespace hv::reg::detail {

namespace {

// Below this many subkeys a scan is as quick as the index.
constexpr std::size_t kIndexFrom = 32;

}  // namespace

std::string KeyLookup::Lower(std::string_view name) {
  std::string lower(name);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

Key* KeyLookup::Child(Key& parent, std::string_view name) {
  if (parent.subkeys.size() < kIndexFrom) return parent.SubKey(name);
  auto [it, added] = m_children.try_emplace(&parent);
  if (added) {
    for (Key& sub : parent.subkeys) it->second.try_emplace(Lower(sub.name), &sub);
  }
  const auto found = it->second.find(Lower(name));
  return found == it->second.end() ? nullptr : found->second;
}

}  // namespace hv::reg::detail
