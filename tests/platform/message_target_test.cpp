#include "harvion/message_target.h"

#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(MessageTarget, delivers_on_posting_thread_and_drops_after_destroy) {
  std::vector<UINT> got;
  HWND window = CreateMessageTarget([&](UINT m, WPARAM w, LPARAM l) {
    EXPECT_EQ(w, 7u);
    EXPECT_EQ(l, -3);
    got.push_back(m);
  });
  EXPECT_EQ(PostMessage(window, WM_USER + 1, 7, -3), 1);
  EXPECT_EQ(got, std::vector<UINT>{WM_USER + 1});
  DestroyMessageTarget(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(PostMessage(window, WM_USER + 2, 7, -3), 0);
  int local = 0;
  EXPECT_EQ(PostMessage(reinterpret_cast<HWND>(&local), WM_USER, 0, 0), 0);
  EXPECT_EQ(got.size(), 1u);
}

TEST(MessageTarget, handler_may_post_to_and_destroy_its_own_target) {
  std::vector<UINT> got;
  HWND window = nullptr;
  window = CreateMessageTarget([&](UINT m, WPARAM, LPARAM) {
    got.push_back(m);
    if (m == 1) PostMessage(window, 2, 0, 0);
    if (m == 2) DestroyMessageTarget(window);  // must not wait for itself
  });
  EXPECT_EQ(PostMessage(window, 1, 0, 0), 1);
  EXPECT_EQ(got, (std::vector<UINT>{1, 2}));
  EXPECT_EQ(PostMessage(window, 3, 0, 0), 0);
}

TEST(MessageTarget, destroy_waits_for_a_call_running_on_another_thread) {
  std::latch entered(1), release(1);
  std::atomic<bool> handlerDone{false}, doneWhenDestroyReturned{false};
  HWND window = CreateMessageTarget([&](UINT, WPARAM, LPARAM) {
    entered.count_down();
    release.wait();
    handlerDone = true;
  });
  std::thread poster([&] { PostMessage(window, WM_USER, 0, 0); });
  entered.wait();
  std::thread destroyer([&] {
    DestroyMessageTarget(window);
    doneWhenDestroyReturned = handlerDone.load();
  });
  // The handle leaves the table when destruction starts; only then may the
  // handler finish.
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

namespace {

using namespace std::chrono_literals;

TEST(SentMessage, answered_now_later_dropped_or_never) {
  std::vector<std::thread> later;
  std::vector<ReplyFunction> kept;
  HWND window = CreateMessageTarget([](UINT, WPARAM, LPARAM) {},
                                    [&](UINT m, WPARAM w, LPARAM l, ReplyFunction reply) {
                                      if (m == 1) reply(LRESULT(w) * l);
                                      if (m == 2) later.emplace_back([reply, w] { reply(LRESULT(w) + 1); });
                                      if (m == 4) kept.push_back(std::move(reply));
                                      // 3: dropped unanswered
                                    });
  const struct {
    UINT message;
    BOOL done;
    LRESULT result;
    std::chrono::milliseconds atMost;
  } cases[] = {{1, 1, 42, 1s}, {2, 1, 7, 5s}, {3, 0, 0, 1s}, {4, 0, 0, 5s}};
  for (const auto& c : cases) {
    LRESULT result = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMessageTimeout(window, c.message, 6, 7, 2000, &result), c.done) << c.message;
    EXPECT_EQ(result, c.result) << c.message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, c.atMost) << c.message;
  }
  for (auto& thread : later) thread.join();
  // A late answer after the sender gave up changes nothing.
  kept.front()(5);
  EXPECT_EQ(SendMessage(window, 1, 2, 3), 6);
  DestroyMessageTarget(window);
  EXPECT_EQ(SendMessageTimeout(window, 1, 2, 3, 300, nullptr), 0);

  // A target without a sent-message handler takes it as posted and answers 0.
  int posted = 0;
  window = CreateMessageTarget([&](UINT, WPARAM, LPARAM) { ++posted; });
  LRESULT result = -1;
  EXPECT_EQ(SendMessageTimeout(window, 9, 0, 0, 300, &result), 1);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(posted, 1);
  DestroyMessageTarget(window);
}

}  // namespace
