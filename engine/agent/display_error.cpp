// Engine messages to the user. A desktop front end installs a sink that shows
// a message box; until then the text goes to stderr.
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "harvion/exports.h"
#include "resources/resources.h"

namespace {

void WriteToStderr(const std::string& text, const std::string& caption, HWND /*owner*/) {
  // The warning beep only where someone can hear it; one write per message
  // keeps lines from different threads apart.
  std::string line = ::isatty(STDERR_FILENO) ? "\a" : "";
  line += caption + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

// The installed sink with the mutex that guards it (workers report errors
// too). Built on first use, so a message during static start-up still works.
struct SinkSlot {
  std::mutex mutex;
  MessageSink sink = WriteToStderr;
};

SinkSlot& Slot() {
  static SinkSlot slot;
  return slot;
}

MessageSink CurrentSink() {
  std::lock_guard lock(Slot().mutex);
  return Slot().sink;
}

}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
  if (!sink) sink = WriteToStderr;
  std::lock_guard lock(Slot().mutex);
  std::swap(Slot().sink, sink);
  return sink;
}

void DisplayError(const char* text, HWND owner) {
  if (!text) return;
  try {
    // Called without the lock held: a message box waits for the user.
    const MessageSink sink = CurrentSink();
    sink(text, hv::res::LoadString(hv::res::IDS_CAPTION), owner);
  } catch (...) {
    // Nothing crosses the engine's interface; a message that cannot be shown is lost.
  }
}

void DisplayError(UINT stringId, HWND owner) {
  try {
    const std::string text = hv::res::LoadString(stringId);
    if (!text.empty()) DisplayError(text.c_str(), owner);
  } catch (...) {
  }
}
