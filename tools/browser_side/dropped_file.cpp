#include "dropped_file.h"

#include <cstdint>

#include "harvion/global_memory.h"

namespace hvside {

namespace {

constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kWideFlagAt = 16;

std::uint32_t Word(const std::uint8_t* at) {
  return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

}  // namespace

std::string FirstDroppedFile(HDROP drop) {
  const std::size_t size = GlobalSize(drop);
  const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(drop));
  if (!bytes) return {};
  std::string name;
  bool whole = false;
  if (size >= kHeaderSize) {
    const std::size_t start = Word(bytes);
    const std::size_t unit = Word(bytes + kWideFlagAt) ? 2 : 1;
    for (std::size_t at = start; start >= kHeaderSize && at + unit <= size; at += unit) {
      const unsigned code = unit == 1 ? bytes[at] : unsigned(bytes[at]) | unsigned(bytes[at + 1]) << 8;
      if (code == 0) {
        whole = true;
        break;
      }
      // A wide list from one of ours holds one byte per code unit.
      name += char(code & 0xFF);
    }
  }
  GlobalUnlock(drop);
  return whole ? name : std::string();
}

}  // namespace hvside
