// The window the engine posts its messages to. The command-line tool has no
// event loop: it counts what arrives and hands each message to its handler
// on the posting thread.
#pragma once

#include <atomic>
#include <functional>

#include "harvion/types.h"

namespace harvion {

class MessageWindow {
 public:
  using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

  explicit MessageWindow(Handler handler = {});
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return m_handle; }
  unsigned Received() const { return m_received.load(); }

 private:
  // Declared before the handle: the handler may run as soon as it exists.
  std::atomic<unsigned> m_received{0};
  Handler m_handler;
  HWND m_handle = nullptr;
};

}  // namespace harvion
