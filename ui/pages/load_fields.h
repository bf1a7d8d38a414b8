// An item's packed retrieval settings (GetValue and SetValue of
// itemLoadInfo) as the fields the Retrieval page shows.
#pragma once

namespace hvui {

struct LoadFields {
  int levels = 0;         // 127: all levels
  bool inherit = false;   // the parent's settings are in force
  int locationIndex = 0;  // in the agent's location list
  int linkType = 0;       // the location entry's strategy
  int fileTypeIndex = 0;  // in the agent's file-type list
  int loadDetail = 0;     // the file-type entry's strategy
};

LoadFields UnpackLoadFields(unsigned long loadInfo);
// The effective levels are the engine's to work out: they go as 0.
unsigned long PackLoadFields(const LoadFields& fields);

}  // namespace hvui
