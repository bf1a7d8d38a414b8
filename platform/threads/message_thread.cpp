#include "platform/threads/message_thread.h"

#include <system_error>
#include <utility>
#include <vector>

CMessageThread::~CMessageThread() {
  if (m_thread.joinable() && !IsCurrentThread()) {
    PostThreadMessage(WM_QUIT, 0, 0);
    m_thread.join();
  } else if (m_thread.joinable()) {
    m_thread.detach();
  }
}

bool CMessageThread::CreateThread() {
  {
    std::lock_guard lock(m_mutex);
    if (m_bEnded) return false;
  }
  if (m_thread.joinable()) return false;
  try {
    m_thread = std::thread([this] {
      m_threadId = std::this_thread::get_id();
      Run();
    });
    m_threadId = m_thread.get_id();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool CMessageThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return Enqueue({0, message, wParam, lParam});
}

void CMessageThread::Join() {
  if (m_thread.joinable() && !IsCurrentThread()) m_thread.join();
}

HWND CMessageThread::CreateThreadWindow(MessageHandler handler) {
  if (!handler) return nullptr;
  std::uint64_t key = 0;
  {
    std::lock_guard lock(m_mutex);
    if (m_bEnded) return nullptr;
    key = m_nextWindow++;
  }
  HWND handle = CreateMessageTarget([this, key](UINT message, WPARAM wParam, LPARAM lParam) {
    Enqueue({key, message, wParam, lParam});
  });
  if (!handle) return nullptr;
  std::lock_guard lock(m_mutex);
  m_windows.emplace(key, Window{handle, std::move(handler)});
  return handle;
}

void CMessageThread::DestroyThreadWindow(HWND window) {
  if (!window) return;
  {
    std::lock_guard lock(m_mutex);
    for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
      if (it->second.handle == window) {
        m_windows.erase(it);
        break;
      }
    }
  }
  // Outside our lock: destroying waits for a post running on another thread,
  // and that post takes our lock to queue.
  DestroyMessageTarget(window);
}

void CMessageThread::Run() {
  bool started = false;
  try {
    started = InitInstance();
    if (started) Loop();
  } catch (...) {
    // A handler that throws ends the loop; the exit handler below still runs
    // so whoever waits for this thread is told.
  }
  {
    std::lock_guard lock(m_mutex);
    m_bEnded = true;
    m_queue.clear();
  }
  try {
    m_nExitCode = ExitInstance();
  } catch (...) {
    m_nExitCode = -1;
  }
  DestroyAllWindows();
}

void CMessageThread::Loop() {
  long idleCount = 0;
  bool idle = true;
  for (;;) {
    while (idle && !HasMessage()) {
      if (!OnIdle(idleCount++)) idle = false;
    }
    const Message message = WaitMessage();
    if (message.message == WM_QUIT && message.window == 0) {
      m_nExitCode = static_cast<int>(message.wParam);
      return;
    }
    Dispatch(message);
    idle = true;
    idleCount = 0;
  }
}

bool CMessageThread::Enqueue(const Message& message) {
  try {
    {
      std::lock_guard lock(m_mutex);
      if (m_bEnded) return false;
      m_queue.push_back(message);
    }
    m_posted.notify_one();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CMessageThread::HasMessage() {
  std::lock_guard lock(m_mutex);
  return !m_queue.empty();
}

CMessageThread::Message CMessageThread::WaitMessage() {
  std::unique_lock lock(m_mutex);
  m_posted.wait(lock, [this] { return !m_queue.empty(); });
  Message message = m_queue.front();
  m_queue.pop_front();
  return message;
}

void CMessageThread::Dispatch(const Message& message) {
  if (message.window == 0) {
    OnThreadMessage(message.message, message.wParam, message.lParam);
    return;
  }
  MessageHandler handler;
  {
    std::lock_guard lock(m_mutex);
    const auto it = m_windows.find(message.window);
    if (it == m_windows.end()) return;  // destroyed since the post
    handler = it->second.handler;
  }
  handler(message.message, message.wParam, message.lParam);
}

void CMessageThread::DestroyAllWindows() {
  std::vector<HWND> handles;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& [key, window] : m_windows) handles.push_back(window.handle);
    m_windows.clear();
  }
  for (HWND handle : handles) DestroyMessageTarget(handle);
}
