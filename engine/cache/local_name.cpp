#include "engine/cache/local_name.h"

namespace hv::cache {

namespace {

constexpr std::size_t kMaxName = 255;  // NAME_MAX of the common file systems

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

bool IsLocalName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxName && name != "." && name != ".." &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

bool IsStoredFileName(const std::string& name) {
  if (!IsLocalName(name) || name.compare(0, 2, "3S") != 0) return false;
  std::size_t digits = 0;
  while (2 + digits < name.size() && IsLowerHex(name[2 + digits])) ++digits;
  // "%06x" pads to six digits; a seventh only comes with a number that needs it.
  if (digits < 6 || digits > 8 || (digits > 6 && name[2] == '0')) return false;
  const std::size_t dot = 2 + digits;
  return dot + 1 < name.size() && name[dot] == '.';
}

}  // namespace hv::cache
