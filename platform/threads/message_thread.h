// A thread with its own message queue and loop. The loop calls the idle
// handler while the queue is empty and the handler asks to be called again;
// after that the thread sleeps on its queue until a message arrives.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "harvion/message_target.h"

constexpr UINT WM_QUIT = 0x0012;

class CMessageThread {
 public:
  CMessageThread() = default;
  CMessageThread(const CMessageThread&) = delete;
  CMessageThread& operator=(const CMessageThread&) = delete;
  // Ends a loop still running and waits for it. A derived class must see its
  // thread ended (Join) before its own members go, as the loop calls its
  // handlers.
  virtual ~CMessageThread();

  // Starts the thread. False when it cannot be started or already ran.
  bool CreateThread();
  // Queues a message for the thread itself. False once its loop has ended.
  bool PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Waits for the thread to end; returns at once for a thread never started
  // and when called on the thread itself.
  void Join();
  bool IsCurrentThread() const { return std::this_thread::get_id() == m_threadId.load(); }

  // A window whose messages are handled on this thread, by its loop, not on
  // the thread that posts them. Null when none can be made.
  HWND CreateThreadWindow(MessageHandler handler);
  // Messages already queued for the window are dropped.
  void DestroyThreadWindow(HWND window);

 protected:
  // On the new thread. False ends the thread at once; ExitInstance still runs.
  virtual bool InitInstance() { return true; }
  // True: call again at once if no message waits; false: sleep until one does.
  // count is the number of calls since the last message.
  virtual bool OnIdle(long count) {
    (void)count;
    return false;
  }
  // Last call on the thread; its answer is the exit code.
  virtual int ExitInstance() { return m_nExitCode; }
  // A message posted to the thread without a window.
  virtual void OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    (void)message, (void)wParam, (void)lParam;
  }
  // The loop ends when it reaches this message.
  void PostQuitMessage(int exitCode) { PostThreadMessage(WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

 private:
  struct Message {
    std::uint64_t window;  // 0: the thread itself
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  struct Window {
    HWND handle;
    MessageHandler handler;
  };

  void Run();
  void Loop();
  bool Enqueue(const Message& message);
  bool HasMessage();
  Message WaitMessage();
  void Dispatch(const Message& message);
  void DestroyAllWindows();

  std::mutex m_mutex;  // guards the queue, the ended flag and the windows
  std::condition_variable m_posted;
  std::deque<Message> m_queue;
  bool m_bEnded = false;
  std::map<std::uint64_t, Window> m_windows;
  std::uint64_t m_nextWindow = 1;
  int m_nExitCode = 0;
  std::atomic<std::thread::id> m_threadId;  // read by other threads while m_thread is being set
  std::thread m_thread;
};
