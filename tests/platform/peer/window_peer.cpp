// A process with one findable window, for the tests of messages between
// processes. It answers a sent message with wParam + lParam, and on request
// posts back, answers from another thread, or ends without answering.
// Usage: hvwindowpeer CLASS TITLE; prints "ready" once the window is listed.
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "harvion/message_target.h"
#include "harvion/top_level_window.h"
#include "window_peer_messages.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::mutex mutex;
  std::condition_variable quit;
  bool quitting = false;
  std::vector<std::thread> answerers;
  const HWND window = CreateMessageTarget(
      [&](UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kPeerEcho) PostMessage(reinterpret_cast<HWND>(wParam), kPeerEchoed, 0, lParam);
        if (message == kPeerQuit) {
          std::lock_guard lock(mutex);
          quitting = true;
          quit.notify_all();
        }
      },
      [&](UINT message, WPARAM wParam, LPARAM lParam, ReplyFunction reply) {
        if (message == kPeerDieUnanswered) ::_exit(0);
        if (message == kPeerEcho) PostMessage(reinterpret_cast<HWND>(wParam), kPeerEchoed, 0, lParam);
        if (message == kPeerAnswerLater) {
          std::lock_guard lock(mutex);
          answerers.emplace_back([reply, wParam, lParam] { reply(LRESULT(wParam) + lParam); });
          return;
        }
        reply(LRESULT(wParam) + lParam);
      });
  if (!window || !PublishWindow(window, argv[1], argv[2])) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  std::unique_lock lock(mutex);
  quit.wait(lock, [&] { return quitting; });
  lock.unlock();
  DestroyMessageTarget(window);
  for (auto& answerer : answerers) answerer.join();
  return 0;
}
