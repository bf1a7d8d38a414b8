// Packing of a node's retrieval settings and schedule reference into the
// words the user interface receives.
#pragma once

namespace hv {

// Effective retrieval settings of an anchor.
struct LoadSettings {
  int loadDetail = 0;
  int linkType = 0;
  int levels = 0;  // 127: all levels
  int fileTypeIndex = 0;
  int locationIndex = 0;
  int inherit = 0;
  int effectiveLevels = 0;  // levels that remain at this anchor
  int requisites = 0;  // CUINode::requisites: where a page's requisites may come from
};

// Whether the value names an entry of the built-in lists: one of the four
// file types, one of the five location strategies.
bool IsKnownLoadDetail(int loadDetail);
bool IsKnownLinkType(int linkType);

// Bits 0-6 levels, 7 inherit, 8-12 location index, 13-15 linkType, 16-21
// file-type index, 22-23 loadDetail, 24-31 effective levels.
unsigned long PackLoadInfo(int loadDetail, int linkType, int levels, int fileTypeIndex, int locationIndex,
                           int inherit, int effectiveLevels);
unsigned long PackLoadInfo(const LoadSettings& s);

struct UnpackedLoadInfo {
  int levels, inherit, locationIndex, linkType, fileTypeIndex, loadDetail;
};
UnpackedLoadInfo UnpackLoadInfo(unsigned long v);

// 2 x (index + 1), plus 1 when inheriting; index -1 is no schedule.
unsigned long PackScheduleInfo(int scheduleIndex, int inherit);

}  // namespace hv
