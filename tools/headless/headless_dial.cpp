#include "headless_dial.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <tuple>

#include "harvion/message_target.h"

namespace harvion {

int DialWithoutWindow(CRasDialDialog& dial, std::chrono::milliseconds allowed) {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<std::tuple<UINT, WPARAM, LPARAM>> queue;
  // The library reports on a thread of its own; the dial is answered here.
  const HWND window = CreateMessageTarget([&](UINT message, WPARAM w, LPARAM l) {
    const std::lock_guard lock(mutex);
    queue.emplace_back(message, w, l);
    arrived.notify_one();
  });
  int result = dial.OnInitDialog(window);
  const auto deadline = std::chrono::steady_clock::now() + allowed;
  while (result == CRasDialDialog::keepOpen) {
    std::unique_lock lock(mutex);
    if (!arrived.wait_until(lock, deadline, [&] { return !queue.empty(); })) {
      dial.OnCancel();
      result = CRasDialDialog::closeCancel;
      break;
    }
    const auto [message, w, l] = queue.front();
    queue.pop_front();
    lock.unlock();
    result = dial.OnMessage(message, w, l);
  }
  DestroyMessageTarget(window);
  return result;
}

}  // namespace harvion
