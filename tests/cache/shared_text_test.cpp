#include "engine/cache/shared_text.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// Distinct texts held beyond those other tests in the process still hold.
struct Held {
  std::size_t before = hv::SharedText::DistinctCount();
  std::size_t More() const { return hv::SharedText::DistinctCount() - before; }
};

TEST(SharedText, OneCopyPerTextFreedWithTheLastHolder) {
  Held held;
  {
    hv::SharedText a(std::string("http://h/shared-text-a.html"));
    hv::SharedText b(std::string("http://h/shared-text-a.html"));
    hv::SharedText empty(std::string{});
    EXPECT_EQ(held.More(), 1u);
    EXPECT_EQ(&a.str(), &b.str());
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty, "");

    hv::SharedText c = a;
    c = std::string("http://h/shared-text-c.html");  // a and b keep theirs
    EXPECT_EQ(held.More(), 2u);
    EXPECT_EQ(a, "http://h/shared-text-a.html");
    a = c;
    b = std::move(c);
    EXPECT_EQ(held.More(), 1u) << "the first text lost its last holder";
    EXPECT_EQ(a, b);
    a = a;  // NOLINT: assigning a text to itself keeps it
    EXPECT_EQ(a, "http://h/shared-text-c.html");
  }
  EXPECT_EQ(held.More(), 0u);
}

TEST(SharedText, HoldersOnManyThreadsCountRight) {
  Held held;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) {
        hv::SharedText text(std::string("http://h/") + std::to_string(i % 7));
        hv::SharedText copy = text;
        copy = std::string("http://h/other");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(held.More(), 0u);
}

}  // namespace
