#include "message_window.h"

#include <utility>

#include "harvion/message_target.h"

namespace harvion {

// The handler runs on whichever thread posts, hence the atomic counter.
MessageWindow::MessageWindow(Handler handler)
    : m_handler(std::move(handler)),
      m_handle(CreateMessageTarget([this](UINT message, WPARAM wParam, LPARAM lParam) {
        m_received.fetch_add(1);
        if (m_handler) m_handler(message, wParam, lParam);
      })) {}

MessageWindow::~MessageWindow() {
  if (m_handle) DestroyMessageTarget(m_handle);
}

}  // namespace harvion
