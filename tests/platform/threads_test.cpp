#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/threads/event.h"
#include "platform/threads/message_thread.h"
#include "platform/threads/semaphore.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(10);
constexpr UINT kQuitPlease = WM_USER + 9;

// Logs every handler call the loop makes, in order.
class LoggingThread : public CMessageThread {
 public:
  ~LoggingThread() override { Join(); }

  bool WaitForEntries(std::size_t count) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kPatience, [&] { return m_log.size() >= count; });
  }
  std::vector<std::string> Log() {
    std::lock_guard lock(m_mutex);
    return m_log;
  }
  std::thread::id RanOn() {
    std::lock_guard lock(m_mutex);
    return m_ranOn;
  }

  bool m_bInitOk = true;
  int m_nIdleAgain = 0;  // idle calls answered "call again" before the first false

 protected:
  bool InitInstance() override {
    {
      std::lock_guard lock(m_mutex);
      m_ranOn = std::this_thread::get_id();
    }
    Add("init");
    return m_bInitOk;
  }
  bool OnIdle(long count) override {
    Add("idle " + std::to_string(count));
    return m_nIdleAgain-- > 0;
  }
  void OnThreadMessage(UINT message, WPARAM wParam, LPARAM) override {
    Add("msg " + std::to_string(message - WM_USER));
    if (message == kQuitPlease) PostQuitMessage(static_cast<int>(wParam));
  }
  int ExitInstance() override {
    Add("exit");
    return 0;
  }

 private:
  void Add(const std::string& entry) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(entry);
    m_changed.notify_all();
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_log;
  std::thread::id m_ranOn;
};

TEST(MessageThread, idles_until_told_to_stop_then_sleeps_until_a_message) {
  LoggingThread thread;
  thread.m_nIdleAgain = 2;
  ASSERT_TRUE(thread.CreateThread());
  ASSERT_TRUE(thread.WaitForEntries(4));
  EXPECT_TRUE(thread.PostThreadMessage(WM_USER + 1, 0, 0));
  ASSERT_TRUE(thread.WaitForEntries(6));
  EXPECT_TRUE(thread.PostThreadMessage(kQuitPlease, 5, 0));
  thread.Join();
  // No idle call between a false answer and the next message: it slept. The
  // count starts again after a message.
  EXPECT_EQ(thread.Log(), (std::vector<std::string>{"init", "idle 0", "idle 1", "idle 2", "msg 1", "idle 0",
                                                    "msg 9", "exit"}));
  EXPECT_FALSE(thread.PostThreadMessage(WM_USER + 3, 0, 0));
  EXPECT_FALSE(thread.CreateThread());  // a thread runs once
}

TEST(MessageThread, failed_start_up_skips_the_loop_but_runs_the_exit_handler) {
  LoggingThread thread;
  thread.m_bInitOk = false;
  ASSERT_TRUE(thread.CreateThread());
  thread.Join();
  EXPECT_EQ(thread.Log(), (std::vector<std::string>{"init", "exit"}));
}

TEST(MessageThread, thread_window_runs_its_messages_on_the_thread_and_drops_them_once_destroyed) {
  LoggingThread thread;
  ASSERT_TRUE(thread.CreateThread());
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::pair<UINT, std::thread::id>> got;
  HWND window = thread.CreateThreadWindow([&](UINT message, WPARAM, LPARAM) {
    std::lock_guard lock(mutex);
    got.emplace_back(message, std::this_thread::get_id());
    arrived.notify_all();
  });
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(PostMessage(window, WM_USER + 4, 0, 0), 1);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, kPatience, [&] { return !got.empty(); }));
    EXPECT_EQ(got[0].first, WM_USER + 4);
    EXPECT_EQ(got[0].second, thread.RanOn());
    EXPECT_NE(got[0].second, std::this_thread::get_id());
  }
  thread.DestroyThreadWindow(window);
  EXPECT_EQ(PostMessage(window, WM_USER + 5, 0, 0), 0);
  thread.PostThreadMessage(kQuitPlease, 0, 0);
  thread.Join();
  std::lock_guard lock(mutex);
  EXPECT_EQ(got.size(), 1u);
}

TEST(ThreadSync, semaphore_counts_up_to_its_maximum_only) {
  CSemaphore semaphore(0, 2);
  EXPECT_FALSE(semaphore.WaitFor(0));
  EXPECT_FALSE(semaphore.Release(3));
  EXPECT_FALSE(semaphore.Release(0));
  EXPECT_TRUE(semaphore.Release(2));
  EXPECT_FALSE(semaphore.Release());
  std::thread other([&] { semaphore.Wait(); });
  other.join();
  EXPECT_TRUE(semaphore.WaitFor(0));
  EXPECT_FALSE(semaphore.WaitFor(0));
}

TEST(ThreadSync, manual_event_frees_every_waiter_automatic_one_only_one) {
  CEvent manual(true, false), automatic(false, true);
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { manual.Wait(); });
  manual.SetEvent();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_TRUE(manual.WaitFor(0));
  manual.ResetEvent();
  EXPECT_FALSE(manual.WaitFor(0));
  EXPECT_TRUE(automatic.WaitFor(0));
  EXPECT_FALSE(automatic.WaitFor(0));
}

}  // namespace
