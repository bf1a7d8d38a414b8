#include "settings_text.h"

#include "display_text.h"
#include "harvion/ui_node.h"

namespace harvion {

namespace {

constexpr unsigned kAllLevels = 127;

// Load information fields: levels in bits 0-6, the inherit flag in bit 7,
// the location index in bits 8-12, the file-type index in bits 16-21.
unsigned Levels(unsigned long info) { return info & 0x7F; }
bool Inherited(unsigned long info) { return (info & 0x80) != 0; }
unsigned LocationIndex(unsigned long info) { return (info >> 8) & 0x1F; }
unsigned FileTypeIndex(unsigned long info) { return (info >> 16) & 0x3F; }

// An index past the list (a list entry deleted meanwhile) still prints.
std::string EntryName(const std::vector<std::string>& list, unsigned index, const char* what) {
  if (index < list.size()) return Printable(list[index]);
  return std::string(what) + " " + std::to_string(index);
}

}  // namespace

std::string DescribeLevels(unsigned levels) {
  if (levels == 0) return "This page";
  if (levels == 1) return "+ 1 level";
  if (levels >= kAllLevels) return "All levels";
  return "+ " + std::to_string(levels) + " levels";
}

std::string DescribeSettings(unsigned long loadInfo, unsigned long requisites, const StrategyNames& names) {
  std::string text = "[" + EntryName(names.fileTypes, FileTypeIndex(loadInfo), "file types") + ", " +
                     EntryName(names.locations, LocationIndex(loadInfo), "locations") + ", " +
                     DescribeLevels(Levels(loadInfo));
  if (requisites == CUINode::rqAnyServer) text += ", requisites from any server";
  if (Inherited(loadInfo)) text += ", inherited";
  return text + "]";
}

}  // namespace harvion
