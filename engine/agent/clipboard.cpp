// Clipboard and drag-out blocks, internet shortcut files and name cleaning.
// The blocks are built byte by byte in little-endian order, as consumers of
// these formats read them.
#include <cstdint>
#include <cstring>
#include <string>

#include "harvion/exports.h"
#include "harvion/global_memory.h"
#include "platform/files/ini_reader.h"

namespace {

// DROPFILES: offset of the list, point x and y, non-client flag, wide flag.
constexpr std::size_t kDropFilesSize = 20;
constexpr std::size_t kDropWideFlagOffset = 16;

// FILEGROUPDESCRIPTOR with one FILEDESCRIPTOR: count, flags, class id, size,
// point, attributes, three file times, file size high and low, then the name.
constexpr std::size_t kFileGroupSize = 336;
constexpr std::size_t kFileFlagsOffset = 4;
constexpr std::size_t kFileNameOffset = 76;
constexpr std::size_t kMaxFileName = 260;  // including the terminating zero
constexpr std::uint32_t FD_LINKUI = 0x8000;

void PutUint32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetUint32(const std::uint8_t* at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

// Keeps a block locked for the lifetime of the object.
class LockedBlock {
 public:
  explicit LockedBlock(HGLOBAL block)
      : m_block(block), m_bytes(static_cast<std::uint8_t*>(GlobalLock(block))) {}
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  ~LockedBlock() {
    if (m_bytes) GlobalUnlock(m_block);
  }
  std::uint8_t* bytes() const { return m_bytes; }

 private:
  HGLOBAL m_block;
  std::uint8_t* m_bytes;
};

// Where the list's final empty entry starts, or 0 when the list runs past
// the end of the block.
std::size_t FindListEnd(const std::uint8_t* bytes, std::size_t size, std::size_t start,
                        std::size_t unit) {
  const auto isZero = [&](std::size_t at) {
    return bytes[at] == 0 && (unit == 1 || bytes[at + 1] == 0);
  };
  std::size_t pos = start;
  while (pos + unit <= size) {
    if (isZero(pos)) return pos;
    while (pos + unit <= size && !isZero(pos)) pos += unit;
    pos += unit;  // past the name's terminating zero
  }
  return 0;
}

}  // namespace

HDROP CreateHdrop() {
  HGLOBAL block = GlobalAlloc(GHND, kDropFilesSize + 1);
  if (!block) return nullptr;
  LockedBlock locked(block);
  PutUint32(locked.bytes(), kDropFilesSize);
  return block;
}

HDROP AppendFileToHdrop(HDROP drop, const char* path) {
  if (!drop || !path) return nullptr;
  const std::size_t size = GlobalSize(drop);
  if (size < kDropFilesSize + 1) return nullptr;

  std::size_t end = 0;
  std::size_t unit = 1;
  {
    LockedBlock locked(drop);
    if (!locked.bytes()) return nullptr;
    const std::size_t listStart = GetUint32(locked.bytes());
    unit = GetUint32(locked.bytes() + kDropWideFlagOffset) != 0 ? 2 : 1;
    if (listStart < kDropFilesSize || listStart >= size) return nullptr;
    end = FindListEnd(locked.bytes(), size, listStart, unit);
    if (end == 0) return nullptr;
  }

  // The path and its zero replace the final empty entry; a new one follows.
  const std::size_t length = std::strlen(path);
  const std::size_t needed = end + (length + 2) * unit;
  HDROP grown = drop;
  if (needed > size) {
    grown = GlobalReAlloc(drop, needed, GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (!grown) return nullptr;
  }
  LockedBlock locked(grown);
  std::uint8_t* at = locked.bytes() + end;
  if (unit == 1) {
    std::memcpy(at, path, length);
  } else {
    // A wide list takes each byte of the path as one 16-bit code unit.
    for (std::size_t i = 0; i < length; ++i) {
      at[2 * i] = static_cast<std::uint8_t>(path[i]);
      at[2 * i + 1] = 0;
    }
  }
  std::memset(at + length * unit, 0, 2 * unit);
  return grown;
}

HGLOBAL CreateClipboardText(const char* text) {
  if (!text) return nullptr;
  const std::size_t length = std::strlen(text);
  HGLOBAL block = GlobalAlloc(GHND, length + 1);
  if (!block) return nullptr;
  LockedBlock locked(block);
  std::memcpy(locked.bytes(), text, length);
  return block;
}

HGLOBAL CreateClipboardFiledescriptor(const char* fileName) {
  if (!fileName) return nullptr;
  const std::size_t length = std::strlen(fileName);
  if (length >= kMaxFileName) return nullptr;
  HGLOBAL block = GlobalAlloc(GHND, kFileGroupSize);
  if (!block) return nullptr;
  LockedBlock locked(block);
  PutUint32(locked.bytes(), 1);
  PutUint32(locked.bytes() + kFileFlagsOffset, FD_LINKUI);
  std::memcpy(locked.bytes() + kFileNameOffset, fileName, length);
  return block;
}

int GetUrlThroughIni(const char* shortcutPath, std::string& url) {
  try {
    url.clear();
    if (!shortcutPath) return 0;
    url = hv::GetPrivateProfileString("InternetShortcut", "URL", "", shortcutPath);
    return url.empty() ? 0 : 1;
  } catch (...) {
    url.clear();
    return 0;
  }
}

int GetUrl(const char* shortcutPath, std::string& url) {
  return GetUrlThroughIni(shortcutPath, url);
}

void CreateName(std::string& name) {
  // Plain loops: the library's searches for a set of characters call memchr
  // once per character, and every link and title on a page comes here.
  const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };  // " \t\n\v\f\r"
  const auto lineBreakOrTab = [](char c) { return c == '\t' || c == '\r' || c == '\n'; };
  std::size_t begin = 0;
  std::size_t end = name.size();
  while (begin < end && blank(name[begin])) ++begin;
  while (end > begin && blank(name[end - 1])) --end;
  bool inner = false;
  for (std::size_t i = begin; i < end; ++i) inner |= lineBreakOrTab(name[i]);
  name.erase(end);
  name.erase(0, begin);
  if (inner) std::erase_if(name, lineBreakOrTab);
}
