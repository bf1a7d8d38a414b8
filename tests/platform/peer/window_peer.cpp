// A process with one findable window, for the tests of messages between
// processes. It answers a sent message with wParam + lParam, and on request
// posts back, answers from another thread, or ends without answering.
// Usage: hvwindowpeer CLASS TITLE; prints "ready" once the window is listed.
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <algorithm>
#include <cstring>
#include <string>

#include "harvion/child_window.h"
#include "harvion/global_memory.h"
#include "harvion/message_target.h"
#include "harvion/window_messages.h"
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
  std::string text;  // the child's, on the link thread only
  const HWND child = CreateMessageTarget(
      [](UINT message, WPARAM wParam, LPARAM) {
        if (message != WM_DROPFILES) return;
        const auto block = reinterpret_cast<HGLOBAL>(wParam);
        PostMessage(FindWindow("HvTestInbox", nullptr), kPeerEchoed, 0, LPARAM(GlobalSize(block)));
        GlobalFree(block);
      },
      [&text](UINT message, WPARAM wParam, LPARAM lParam, ReplyFunction reply) {
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (message == WM_SETTEXT) text = buffer;
        if (message == WM_GETTEXTLENGTH) return reply(LRESULT(text.size()));
        if (message == WM_GETTEXT) {
          const std::size_t copied = wParam ? std::min<std::size_t>(text.size(), wParam - 1) : 0;
          if (wParam) std::memcpy(buffer, text.c_str(), copied), buffer[copied] = '\0';
          return reply(LRESULT(copied));
        }
        if (message == LB_GETTEXT) {
          if (wParam >= 3) return reply(LB_ERR);
          const std::string entry = "entry " + std::to_string(wParam);
          std::memcpy(buffer, entry.c_str(), entry.size() + 1);
          return reply(LRESULT(entry.size()));
        }
        reply(message == WM_SETTEXT);
      });
  if (!window || !PublishWindow(window, argv[1], argv[2], WindowStyle{nullptr, 0, true, true})) return 1;
  if (!child || !PublishWindow(child, "HvTestChild", "", WindowStyle{window, kPeerChildId, false, false})) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  std::unique_lock lock(mutex);
  quit.wait(lock, [&] { return quitting; });
  lock.unlock();
  DestroyMessageTarget(child);
  DestroyMessageTarget(window);
  for (auto& answerer : answerers) answerer.join();
  return 0;
}
