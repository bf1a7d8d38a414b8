// A counting semaphore with a maximum: a release past the maximum is refused
// and changes nothing.
#pragma once

#include <condition_variable>
#include <mutex>

class CSemaphore {
 public:
  CSemaphore(int initialCount, int maximumCount);
  CSemaphore(const CSemaphore&) = delete;
  CSemaphore& operator=(const CSemaphore&) = delete;

  // False, and no count added, when the count would pass the maximum or
  // count is not positive.
  bool Release(int count = 1);
  // Takes one count, waiting without limit.
  void Wait();
  // True when a count was taken within the time.
  bool WaitFor(int milliseconds);

 private:
  int m_nCount;
  const int m_nMaximum;
  std::mutex m_mutex;
  std::condition_variable m_released;
};
