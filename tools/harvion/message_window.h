// The window the engine posts its messages to. The command-line tool has no
// event loop, so it only counts what arrives.
#pragma once

#include <atomic>

#include "harvion/types.h"

namespace harvion {

class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return m_handle; }
  unsigned Received() const { return m_received.load(); }

 private:
  // Declared before the handle: the handler may run as soon as it exists.
  std::atomic<unsigned> m_received{0};
  HWND m_handle = nullptr;
};

}  // namespace harvion
