#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "harvion/exports.h"
#include "resources/resources.h"

namespace {

struct Shown {
  std::string text, caption;
  HWND owner;
  bool operator==(const Shown&) const = default;
};

TEST(DisplayError, text_and_string_numbers_reach_the_sink_with_the_product_caption) {
  std::vector<Shown> shown;
  const MessageSink previous = SetMessageSink(
      [&](const std::string& text, const std::string& caption, HWND owner) { shown.push_back({text, caption, owner}); });
  int window = 0;
  HWND owner = reinterpret_cast<HWND>(&window);
  DisplayError("Disk full", owner);
  DisplayError(UINT{hv::res::IDS_COPY_OF}, nullptr);
  DisplayError(UINT{59999}, nullptr);  // unknown: nothing shown
  SetMessageSink(previous);
  const std::string copyOf = hv::res::LoadString(hv::res::IDS_COPY_OF);
  EXPECT_EQ(shown, (std::vector<Shown>{{"Disk full", "Harvon Plugin", owner},
                                       {copyOf, "Harvon Plugin", nullptr}}));
}

TEST(DisplayError, every_message_reaches_one_sink_while_sinks_are_swapped) {
  std::atomic<int> delivered{0};
  const MessageSink a = [&](const std::string&, const std::string&, HWND) { ++delivered; };
  const MessageSink b = a;
  const MessageSink previous = SetMessageSink(a);
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int i = 0; i < 1000; ++i) SetMessageSink(i % 2 ? a : b);
  });
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) DisplayError("worker", nullptr);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(delivered.load(), 600);
  // An empty sink puts the stderr writer back; it is returned when replaced.
  SetMessageSink(nullptr);
  EXPECT_TRUE(SetMessageSink(previous));
}

}  // namespace
