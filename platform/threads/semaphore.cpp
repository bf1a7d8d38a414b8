#include "platform/threads/semaphore.h"

#include <algorithm>
#include <chrono>

CSemaphore::CSemaphore(int initialCount, int maximumCount)
    : m_nCount(std::clamp(initialCount, 0, std::max(maximumCount, 0))), m_nMaximum(std::max(maximumCount, 0)) {}

// Notified under the lock, so the last waiter may destroy the semaphore as
// soon as it has its count.
bool CSemaphore::Release(int count) {
  std::lock_guard lock(m_mutex);
  if (count <= 0 || count > m_nMaximum - m_nCount) return false;
  m_nCount += count;
  m_released.notify_all();
  return true;
}

void CSemaphore::Wait() {
  std::unique_lock lock(m_mutex);
  m_released.wait(lock, [this] { return m_nCount > 0; });
  --m_nCount;
}

bool CSemaphore::WaitFor(int milliseconds) {
  std::unique_lock lock(m_mutex);
  if (!m_released.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_nCount > 0; })) {
    return false;
  }
  --m_nCount;
  return true;
}
