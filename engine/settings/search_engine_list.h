// The search engines a search folder asks: title, location and query
// template ("%KEY" stands for the search text).
#pragma once

#include "engine/settings/named_array.h"

namespace hv::settings {

// Fills the list from the store; when the store holds none, the ten default
// engines are added and saved.
void LoadSearchEngines(CNamedArray& list);
bool SaveSearchEngines(const CNamedArray& list);

}  // namespace hv::settings
