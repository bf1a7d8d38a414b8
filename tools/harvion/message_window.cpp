#include "message_window.h"

#include "harvion/message_target.h"

namespace harvion {

// The handler runs on whichever thread posts, hence the atomic counter.
MessageWindow::MessageWindow()
    : m_handle(CreateMessageTarget([this](UINT, WPARAM, LPARAM) { m_received.fetch_add(1); })) {}

MessageWindow::~MessageWindow() {
  if (m_handle) DestroyMessageTarget(m_handle);
}

}  // namespace harvion
