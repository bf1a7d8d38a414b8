#include "change_anchor.h"

#include <cstdint>

namespace harvion {

std::string ChangeAnchor(std::string_view address) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : address) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string id = "c-";
  for (int shift = 60; shift >= 0; shift -= 4) id += kHex[(hash >> shift) & 15];
  return id;
}

}  // namespace harvion
