#include "harvion/global_memory.h"

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::uint8_t* Bytes(HGLOBAL block) {
  return static_cast<std::uint8_t*>(GlobalLock(block));
}

TEST(GlobalMemory, new_block_is_zeroed_even_without_zeroinit) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 64u);
  const std::uint8_t* bytes = Bytes(block);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 64), std::vector<std::uint8_t>(64, 0));
  GlobalUnlock(block);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, realloc_keeps_content_and_zeroes_growth) {
  HGLOBAL block = GlobalAlloc(GHND, 4);
  std::memcpy(Bytes(block), "abcd", 4);
  GlobalUnlock(block);

  HGLOBAL grown = GlobalReAlloc(block, 8, GMEM_MOVEABLE | GMEM_ZEROINIT);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(GlobalSize(grown), 8u);
  EXPECT_EQ(std::memcmp(Bytes(grown), "abcd\0\0\0\0", 8), 0);
  GlobalUnlock(grown);

  HGLOBAL shrunk = GlobalReAlloc(grown, 2, GMEM_MOVEABLE);
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(GlobalSize(shrunk), 2u);
  EXPECT_EQ(std::memcmp(Bytes(shrunk), "ab", 2), 0);
  GlobalUnlock(shrunk);
  GlobalFree(shrunk);
}

TEST(GlobalMemory, lock_count_and_locked_block_moves_only_when_allowed) {
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
  const HGLOBAL bad[] = {freed, nullptr, reinterpret_cast<HGLOBAL>(std::uintptr_t{1}),
                         reinterpret_cast<HGLOBAL>(&local)};
  for (HGLOBAL handle : bad) {
    EXPECT_EQ(GlobalLock(handle), nullptr);
    EXPECT_EQ(GlobalUnlock(handle), 0);
    EXPECT_EQ(GlobalSize(handle), 0u);
    EXPECT_EQ(GlobalReAlloc(handle, 16, GHND), nullptr);
    EXPECT_EQ(GlobalFree(handle), handle);
  }
}

TEST(GlobalMemory, absurd_sizes_are_refused_and_old_block_survives) {
  EXPECT_EQ(GlobalAlloc(GHND, std::size_t{1} << 40), nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX), nullptr);

  HGLOBAL block = GlobalAlloc(GHND, 3);
  std::memcpy(Bytes(block), "xyz", 3);
  GlobalUnlock(block);
  EXPECT_EQ(GlobalReAlloc(block, SIZE_MAX, GHND), nullptr);
  EXPECT_EQ(GlobalSize(block), 3u);
  EXPECT_EQ(std::memcmp(Bytes(block), "xyz", 3), 0);
  GlobalUnlock(block);
  GlobalFree(block);
}

TEST(GlobalMemory, threads_allocating_at_once_get_distinct_blocks) {
  constexpr int kThreads = 4;
  constexpr int kBlocks = 500;
  std::vector<std::vector<HGLOBAL>> handles(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kBlocks; ++i) {
        HGLOBAL block = GlobalAlloc(GHND, 4);
        std::memcpy(Bytes(block), &i, sizeof i);
        GlobalUnlock(block);
        handles[t].push_back(block);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& list : handles) {
    for (int i = 0; i < kBlocks; ++i) {
      int value = -1;
      std::memcpy(&value, Bytes(list[i]), sizeof value);
      GlobalUnlock(list[i]);
      EXPECT_EQ(value, i);
      EXPECT_EQ(GlobalFree(list[i]), nullptr);
    }
  }
}

}  // namespace
