#include "harvion/global_memory.h"

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

namespace {

std::uint8_t* Bytes(HGLOBAL block) {
  return static_cast<std::uint8_t*>(GlobalLock(block));
}

TEST(GlobalMemory, blocks_start_zeroed_and_realloc_keeps_content) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);  // zeroed even without GMEM_ZEROINIT
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(Bytes(block), "\0\0\0\0", 4), 0);
  std::memcpy(Bytes(block), "abcd", 4);
  GlobalUnlock(block);
  GlobalUnlock(block);

  ASSERT_NE(GlobalReAlloc(block, 8, GHND), nullptr);
  EXPECT_EQ(GlobalSize(block), 8u);
  EXPECT_EQ(std::memcmp(Bytes(block), "abcd\0\0\0\0", 8), 0);
  GlobalUnlock(block);
  ASSERT_NE(GlobalReAlloc(block, 2, GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(std::memcmp(Bytes(block), "ab", 2), 0);
  GlobalUnlock(block);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, locked_block_moves_only_when_allowed) {
  HGLOBAL block = GlobalAlloc(GHND, 16);
  void* first = GlobalLock(block);
  EXPECT_EQ(GlobalLock(block), first);
  EXPECT_EQ(GlobalUnlock(block), 1);  // still locked once
  EXPECT_EQ(GlobalReAlloc(block, 32, GMEM_ZEROINIT), nullptr);
  EXPECT_EQ(GlobalSize(block), 16u);
  EXPECT_NE(GlobalReAlloc(block, 32, GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(GlobalUnlock(block), 0);
  EXPECT_EQ(GlobalUnlock(block), 0);  // an extra unlock does not underflow
  EXPECT_NE(GlobalReAlloc(block, 64, GMEM_ZEROINIT), nullptr);
  GlobalFree(block);
}

TEST(GlobalMemory, freed_and_forged_handles_are_refused) {
  HGLOBAL freed = GlobalAlloc(GHND, 8);
  ASSERT_EQ(GlobalFree(freed), nullptr);
  int local = 0;
  for (HGLOBAL handle : {freed, HGLOBAL{}, reinterpret_cast<HGLOBAL>(std::uintptr_t{1}),
                         reinterpret_cast<HGLOBAL>(&local)}) {
    EXPECT_EQ(GlobalLock(handle), nullptr);
    EXPECT_EQ(GlobalSize(handle), 0u);
    EXPECT_EQ(GlobalReAlloc(handle, 16, GHND), nullptr);
    EXPECT_EQ(GlobalFree(handle), handle);
  }
}

TEST(GlobalMemory, absurd_sizes_are_refused_and_old_block_survives) {
  EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX), nullptr);
  HGLOBAL block = GlobalAlloc(GHND, 3);
  std::memcpy(Bytes(block), "xyz", 3);
  GlobalUnlock(block);
  EXPECT_EQ(GlobalReAlloc(block, std::size_t{1} << 40, GHND), nullptr);
  EXPECT_EQ(GlobalSize(block), 3u);
  EXPECT_EQ(std::memcmp(Bytes(block), "xyz", 3), 0);
  GlobalUnlock(block);
  GlobalFree(block);
}

}  // namespace
