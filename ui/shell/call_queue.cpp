#include "shell/call_queue.h"

namespace hvui {

CallQueue::CallQueue(QObject* parent) : QObject(parent) {}

void CallQueue::Post(std::function<void()> call) {
  bool wake = false;
  {
    const std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
    wake = !m_wakePending;
    m_wakePending = true;
  }
  // By name: the wake-up carries nothing, all data goes through the queue.
  if (wake) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void CallQueue::Drain() {
  std::vector<std::function<void()>> calls;
  {
    const std::lock_guard lock(m_mutex);
    calls.swap(m_calls);
    m_wakePending = false;
  }
  for (const std::function<void()>& call : calls) call();
}

}  // namespace hvui
