#include "harvion/message_target.h"

#include <atomic>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
  bool operator==(const Received&) const = default;
};

TEST(MessageTarget, post_calls_handler_on_posting_thread_with_arguments) {
  std::vector<Received> got;
  HWND window = CreateMessageTarget([&](UINT m, WPARAM w, LPARAM l) {
    got.push_back({m, w, l, std::this_thread::get_id()});
  });
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(PostMessage(window, WM_USER + 1, 7, -3), 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], (Received{WM_USER + 1, 7, -3, std::this_thread::get_id()}));
  DestroyMessageTarget(window);
}

TEST(MessageTarget, messages_to_gone_or_forged_handles_are_dropped) {
  int calls = 0;
  HWND window = CreateMessageTarget([&](UINT, WPARAM, LPARAM) { ++calls; });
  DestroyMessageTarget(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(PostMessage(window, WM_USER, 0, 0), 0);
  EXPECT_EQ(calls, 0);

  int local = 0;
  for (HWND forged : {HWND{}, reinterpret_cast<HWND>(&local)}) {
    EXPECT_FALSE(IsWindow(forged));
    EXPECT_EQ(PostMessage(forged, WM_USER, 0, 0), 0);
    DestroyMessageTarget(forged);  // harmless
  }
  EXPECT_EQ(CreateMessageTarget(nullptr), nullptr);
}

TEST(MessageTarget, handler_may_post_to_and_destroy_its_own_target) {
  std::vector<UINT> got;
  HWND window = nullptr;
  window = CreateMessageTarget([&](UINT m, WPARAM, LPARAM) {
    got.push_back(m);
    if (m == 1) PostMessage(window, 2, 0, 0);
    if (m == 2) DestroyMessageTarget(window);
  });
  EXPECT_EQ(PostMessage(window, 1, 0, 0), 1);
  EXPECT_EQ(got, (std::vector<UINT>{1, 2}));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(PostMessage(window, 3, 0, 0), 0);
}

TEST(MessageTarget, throwing_handler_reports_failure_and_target_stays_usable) {
  int calls = 0;
  HWND window = CreateMessageTarget([&](UINT m, WPARAM, LPARAM) {
    ++calls;
    if (m == 1) throw std::runtime_error("refused");
  });
  EXPECT_EQ(PostMessage(window, 1, 0, 0), 0);
  EXPECT_EQ(PostMessage(window, 2, 0, 0), 1);
  EXPECT_EQ(calls, 2);
  DestroyMessageTarget(window);  // must not wait for the call that threw
}

TEST(MessageTarget, destroy_waits_for_a_call_running_on_another_thread) {
  std::latch entered(1);
  std::latch release(1);
  std::atomic<bool> handlerDone{false};
  HWND window = CreateMessageTarget([&](UINT, WPARAM, LPARAM) {
    entered.count_down();
    release.wait();
    handlerDone = true;
  });

  std::thread poster([&] { PostMessage(window, WM_USER, 0, 0); });
  entered.wait();
  std::atomic<bool> doneWhenDestroyReturned{false};
  std::thread destroyer([&] {
    DestroyMessageTarget(window);
    doneWhenDestroyReturned = handlerDone.load();
  });
  // The handle leaves the table as soon as destruction starts; only then is
  // the handler allowed to finish.
  while (IsWindow(window)) std::this_thread::yield();
  release.count_down();
  destroyer.join();
  poster.join();
  EXPECT_TRUE(doneWhenDestroyReturned.load());
}

TEST(MessageTarget, no_call_after_destroy_returns) {
  std::atomic<int> calls{0};
  std::latch someDelivered(1);
  HWND window = CreateMessageTarget([&](UINT, WPARAM, LPARAM) {
    if (++calls == 100) someDelivered.count_down();
  });
  std::thread poster([&] {
    while (PostMessage(window, WM_USER, 0, 0)) {
    }
  });
  someDelivered.wait();
  DestroyMessageTarget(window);
  const int afterDestroy = calls;
  poster.join();  // ends at its first dropped message
  EXPECT_EQ(calls.load(), afterDestroy);
}

}  // namespace
