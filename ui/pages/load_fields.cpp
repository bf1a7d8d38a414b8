#include "pages/load_fields.h"

#include "harvion/saf_client.h"

namespace hvui {

LoadFields UnpackLoadFields(unsigned long v) {
  LoadFields f;
  f.levels = static_cast<int>(v & 0x7F);
  f.inherit = (v & 0x80) != 0;
  f.locationIndex = static_cast<int>((v >> 8) & 0x1F);
  f.linkType = static_cast<int>((v >> 13) & 0x7);
  f.fileTypeIndex = static_cast<int>((v >> 16) & 0x3F);
  f.loadDetail = static_cast<int>((v >> 22) & 0x3);
  return f;
}

unsigned long PackLoadFields(const LoadFields& f) {
  return CSafClient::PackLoadInfo(f.loadDetail, f.linkType, f.levels, f.fileTypeIndex, f.locationIndex,
                                  f.inherit ? 1 : 0, 0);
}

}  // namespace hvui
