// Ctrl-C during a run: the signal handler only writes a byte to a pipe; a
// thread of ours reads it and calls the action (stopping the run) outside
// the handler, where any call is allowed. A second Ctrl-C ends the program
// as usual, for a stop that does not come.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace harvion {

class InterruptWatch {
 public:
  // One watch at a time.
  explicit InterruptWatch(std::function<void()> action);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Whether Ctrl-C came since the watch began.
  static bool Interrupted();

 private:
  void Watch();

  std::function<void()> m_action;
  int m_pipe[2] = {-1, -1};
  std::thread m_thread;
};

}  // namespace harvion
