// Global memory blocks kept in a handle table. A handle is a counter value,
// never an address, so a freed or made-up handle finds no entry and the call
// fails instead of touching memory.
#include "harvion/global_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// Larger requests are refused outright: no block the engine hands out comes
// near this, so such a size is a corrupt length, not a real need.
constexpr std::size_t kMaxBlockSize = std::size_t{1} << 30;

struct Block {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  unsigned locks = 0;
};

// Zeroed storage for a block; at least one byte so a locked empty block still
// yields a usable pointer. Null when memory is short.
std::unique_ptr<std::uint8_t[]> AllocateZeroed(std::size_t bytes) {
  try {
    return std::make_unique<std::uint8_t[]>(std::max<std::size_t>(bytes, 1));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

class BlockTable {
 public:
  HGLOBAL Add(Block block) {
    std::lock_guard lock(m_mutex);
    const std::uintptr_t key = m_nextKey++;
    m_blocks.emplace(key, std::move(block));
    return reinterpret_cast<HGLOBAL>(key);
  }

  // Runs fn(Block&) under the table lock; false when the handle is not live.
  template <typename Fn>
  bool With(HGLOBAL handle, Fn&& fn) {
    std::lock_guard lock(m_mutex);
    const auto it = m_blocks.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_blocks.end()) return false;
    fn(it->second);
    return true;
  }

  // The removed block, so its memory is released outside the lock.
  std::unique_ptr<std::uint8_t[]> Remove(HGLOBAL handle, bool& found) {
    std::lock_guard lock(m_mutex);
    auto node = m_blocks.extract(reinterpret_cast<std::uintptr_t>(handle));
    found = !node.empty();
    return found ? std::move(node.mapped().data) : nullptr;
  }

 private:
  std::mutex m_mutex;
  std::unordered_map<std::uintptr_t, Block> m_blocks;
  // Starts above the small numbers a careless caller might pass as a handle.
  std::uintptr_t m_nextKey = 0x1000;
};

BlockTable& Table() {
  static BlockTable table;
  return table;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT /*flags*/, std::size_t bytes) {
  // Every block is zeroed, with or without GMEM_ZEROINIT: stale heap bytes
  // never reach a caller.
  if (bytes > kMaxBlockSize) return nullptr;
  Block block;
  block.data = AllocateZeroed(bytes);
  if (!block.data) return nullptr;
  block.size = bytes;
  try {
    return Table().Add(std::move(block));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, std::size_t bytes, UINT flags) {
  if (bytes > kMaxBlockSize) return nullptr;
  // Allocated before taking the table lock; discarded if the handle is dead.
  auto fresh = AllocateZeroed(bytes);
  if (!fresh) return nullptr;
  bool resized = false;
  Table().With(handle, [&](Block& block) {
    // A locked block moves only when the caller says pointers may change.
    if (block.locks > 0 && !(flags & GMEM_MOVEABLE)) return;
    std::memcpy(fresh.get(), block.data.get(), std::min(block.size, bytes));
    block.data.swap(fresh);
    block.size = bytes;
    resized = true;
  });
  return resized ? handle : nullptr;
}

void* GlobalLock(HGLOBAL handle) {
  void* data = nullptr;
  Table().With(handle, [&](Block& block) {
    ++block.locks;
    data = block.data.get();
  });
  return data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  BOOL stillLocked = 0;
  Table().With(handle, [&](Block& block) {
    if (block.locks > 0) --block.locks;
    stillLocked = block.locks > 0;
  });
  return stillLocked;
}

std::size_t GlobalSize(HGLOBAL handle) {
  std::size_t size = 0;
  Table().With(handle, [&](Block& block) { size = block.size; });
  return size;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  bool found = false;
  Table().Remove(handle, found);
  return found ? nullptr : handle;
}
