#include "platform/threads/event.h"

#include <chrono>

// Notified under the lock: a waiter may destroy the event as soon as it
// returns, and must not find us still inside it.
void CEvent::SetEvent() {
  std::lock_guard lock(m_mutex);
  m_bSet = true;
  if (m_bManualReset) {
    m_changed.notify_all();
  } else {
    m_changed.notify_one();
  }
}

void CEvent::ResetEvent() {
  std::lock_guard lock(m_mutex);
  m_bSet = false;
}

void CEvent::Wait() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return m_bSet; });
  if (!m_bManualReset) m_bSet = false;
}

bool CEvent::WaitFor(int milliseconds) {
  std::unique_lock lock(m_mutex);
  if (!m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_bSet; })) return false;
  if (!m_bManualReset) m_bSet = false;
  return true;
}
