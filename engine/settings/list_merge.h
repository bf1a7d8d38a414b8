// The edits a user made to a list read earlier, applied to the list as it is
// stored now: another program (or a run remembering a password) may have
// changed the store since, and what it did must survive unless the user
// changed the same entry.
#pragma once

#include <algorithm>
#include <vector>

namespace hv::settings {

// Entries of `shown` missing from `edited` are removed from `stored`;
// entries of `edited` that differ from `shown` (or are new) replace the
// stored entry of the same key or are appended. Entries the user did not
// touch keep their stored form and place.
template <class Item, class KeyOf>
std::vector<Item> MergeListEdits(std::vector<Item> stored, const std::vector<Item>& shown,
                                 const std::vector<Item>& edited, KeyOf keyOf) {
  const auto withKey = [&](const auto& key) { return [&, key](const Item& item) { return keyOf(item) == key; }; };
  for (const Item& before : shown) {
    if (std::none_of(edited.begin(), edited.end(), withKey(keyOf(before))))
      std::erase_if(stored, withKey(keyOf(before)));
  }
  for (const Item& after : edited) {
    const auto before = std::find_if(shown.begin(), shown.end(), withKey(keyOf(after)));
    if (before != shown.end() && *before == after) continue;
    const auto now = std::find_if(stored.begin(), stored.end(), withKey(keyOf(after)));
    if (now != stored.end())
      *now = after;
    else
      stored.push_back(after);
  }
  return stored;
}

}  // namespace hv::settings
