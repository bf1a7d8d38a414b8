#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "harvion/exports.h"
#include "resources/resources.h"

namespace {

struct Shown {
  std::string text;
  std::string caption;
  HWND owner;
  bool operator==(const Shown&) const = default;
};

// Installs a recording sink for one test and puts the previous one back.
class RecordingSink {
 public:
  RecordingSink() {
    m_previous = SetMessageSink([this](const std::string& text, const std::string& caption, HWND owner) {
      m_shown.push_back({text, caption, owner});
    });
  }
  ~RecordingSink() { SetMessageSink(m_previous); }
  const std::vector<Shown>& shown() const { return m_shown; }

 private:
  MessageSink m_previous;
  std::vector<Shown> m_shown;
};

TEST(DisplayError, text_goes_to_the_sink_with_the_product_caption) {
  RecordingSink sink;
  int window = 0;
  HWND owner = reinterpret_cast<HWND>(&window);
  DisplayError("Disk full", owner);
  EXPECT_EQ(sink.shown(), (std::vector<Shown>{{"Disk full", "Harvon Plugin", owner}}));
}

TEST(DisplayError, string_number_is_loaded_and_unknown_numbers_show_nothing) {
  RecordingSink sink;
  DisplayError(UINT{hv::res::IDS_COPY_OF}, nullptr);
  DisplayError(UINT{59999}, nullptr);
  ASSERT_EQ(sink.shown().size(), 1u);
  EXPECT_EQ(sink.shown()[0].text, hv::res::LoadString(hv::res::IDS_COPY_OF));
}

TEST(DisplayError, empty_sink_restores_the_default_and_previous_is_returned) {
  RecordingSink outer;
  const MessageSink replaced = SetMessageSink(nullptr);
  ASSERT_TRUE(replaced);
  replaced("through the returned sink", "c", nullptr);
  ASSERT_EQ(outer.shown().size(), 1u);

  const MessageSink defaultSink = SetMessageSink(replaced);
  EXPECT_TRUE(defaultSink);  // the stderr writer, callable and restorable
}

TEST(DisplayError, every_message_reaches_one_sink_while_sinks_are_swapped) {
  RecordingSink restore;
  std::atomic<int> delivered{0};
  const MessageSink a = [&](const std::string&, const std::string&, HWND) { ++delivered; };
  const MessageSink b = [&](const std::string&, const std::string&, HWND) { ++delivered; };
  SetMessageSink(a);
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
}

}  // namespace
