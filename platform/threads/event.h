// A kernel-style event: manual reset stays signalled until reset, automatic
// reset lets one waiter through and clears itself.
#pragma once

#include <condition_variable>
#include <mutex>

class CEvent {
 public:
  explicit CEvent(bool manualReset = true, bool initiallySet = false)
      : m_bManualReset(manualReset), m_bSet(initiallySet) {}
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  // Waits without limit.
  void Wait();
  // True when the event was signalled within the time.
  bool WaitFor(int milliseconds);

 private:
  const bool m_bManualReset;
  bool m_bSet;
  std::mutex m_mutex;
  std::condition_variable m_changed;
};
