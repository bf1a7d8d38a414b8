#include "engine/settings/search_engine_list.h"

#include "engine/settings/settings_store.h"
#include "engine/settings/three_string_entry.h"
#include "resources/resources.h"

namespace hv::settings {

void LoadSearchEngines(CNamedArray& list) {
  list.RemoveAllItems();
  std::string key;
  if (!KeyPath(res::IDS_REG_SEARCH_ENGINES, key)) return;
  LoadThreeStringList(key, list, res::IDS_REG_QUERY_STRING);
  if (list.GetSize() > 0) return;
  for (unsigned i = 0; i < res::IDS_SEARCH_ENGINE_COUNT; ++i) {
    const unsigned id = res::IDS_SEARCH_ENGINE_FIRST + 3 * i;
    list.Add(std::make_unique<C3StringEntry>(res::LoadString(id), res::LoadString(id + 1), res::LoadString(id + 2)));
  }
  SaveSearchEngines(list);
}

bool SaveSearchEngines(const CNamedArray& list) {
  std::string key;
  return KeyPath(res::IDS_REG_SEARCH_ENGINES, key) && SaveThreeStringList(key, list, res::IDS_REG_QUERY_STRING);
}

}  // namespace hv::settings
