#include "engine/agent/load_info.h"

#include "harvion/ui_node.h"

namespace hv {

bool IsKnownLoadDetail(int loadDetail) {
  return loadDetail >= CUINode::ldSiteMap && loadDetail <= CUINode::ldAllFiles;
}

bool IsKnownLinkType(int linkType) {
  return linkType >= CUINode::ltUnrestricted && linkType <= CUINode::ltInsideServer;
}

unsigned long PackLoadInfo(int loadDetail, int linkType, int levels, int fileTypeIndex, int locationIndex,
                           int inherit, int effectiveLevels) {
  auto field = [](int value, unsigned width, unsigned shift) {
    return (static_cast<unsigned long>(static_cast<unsigned>(value)) & ((1UL << width) - 1)) << shift;
  };
  return field(levels, 7, 0) | (inherit ? 0x80UL : 0UL) | field(locationIndex, 5, 8) | field(linkType, 3, 13) |
         field(fileTypeIndex, 6, 16) | field(loadDetail, 2, 22) | field(effectiveLevels, 8, 24);
}

unsigned long PackLoadInfo(const LoadSettings& s) {
  return PackLoadInfo(s.loadDetail, s.linkType, s.levels, s.fileTypeIndex, s.locationIndex, s.inherit,
                      s.effectiveLevels);
}

UnpackedLoadInfo UnpackLoadInfo(unsigned long v) {
  return {static_cast<int>(v & 0x7F),         static_cast<int>((v >> 7) & 1),
          static_cast<int>((v >> 8) & 0x1F),  static_cast<int>((v >> 13) & 7),
          static_cast<int>((v >> 16) & 0x3F), static_cast<int>((v >> 22) & 3)};
}

unsigned long PackScheduleInfo(int scheduleIndex, int inherit) {
  // The interface word is 32 bits wide whatever the platform's long is.
  return (2UL * static_cast<unsigned long>(scheduleIndex + 1) + (inherit ? 1UL : 0UL)) & 0xFFFFFFFFUL;
}

}  // namespace hv
