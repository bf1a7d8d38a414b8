// Lookups over the listed windows of every process of the user, and window
// texts read and set through messages, which reach other processes too.
#include "harvion/child_window.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "harvion/message_target.h"
#include "harvion/window_messages.h"
#include "platform/windows/window_directory.h"

namespace {

std::optional<TopLevelWindow> Listed(HWND window) {
  if (!window) return std::nullopt;
  for (auto& entry : hv::win::ListedWindows())
    if (entry.window == window) return std::move(entry);
  return std::nullopt;
}

// Answers from a window of another process wait this long at most.
constexpr unsigned kTextWaitMs = 5000;

}  // namespace

HWND GetDlgItem(HWND parent, int controlId) {
  if (!parent) return nullptr;
  for (const auto& entry : hv::win::ListedWindows())
    if (entry.parent == parent && entry.controlId == controlId) return entry.window;
  return nullptr;
}

HWND GetParent(HWND window) {
  const auto entry = Listed(window);
  return entry ? entry->parent : nullptr;
}

HWND FindWindowEx(HWND parent, HWND after, const char* className, const char* title) {
  bool passed = after == nullptr;
  for (const auto& entry : hv::win::ListedWindows()) {
    if (entry.parent != parent) continue;
    if (!passed) {
      passed = entry.window == after;
      continue;
    }
    if (className && entry.className != className) continue;
    if (title && entry.title != title) continue;
    return entry.window;
  }
  return nullptr;
}

int GetClassName(HWND window, char* buffer, int size) {
  const auto entry = Listed(window);
  if (!entry || !buffer || size <= 0) return 0;
  const std::size_t copied = std::min(entry->className.size(), std::size_t(size - 1));
  std::memcpy(buffer, entry->className.data(), copied);
  buffer[copied] = '\0';
  return int(copied);
}

BOOL IsWindowVisible(HWND window) {
  const auto entry = Listed(window);
  return entry && entry->visible;
}

BOOL HasMenu(HWND window) {
  const auto entry = Listed(window);
  return entry && entry->menu;
}

std::string GetWindowText(HWND window) {
  LRESULT length = 0;
  if (!SendMessageTimeout(window, WM_GETTEXTLENGTH, 0, 0, kTextWaitMs, &length) || length <= 0) return {};
  std::string text(std::min<std::size_t>(std::size_t(length), kMaxWindowText) + 1, '\0');
  LRESULT copied = 0;
  if (!SendMessageTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), kTextWaitMs,
                          &copied))
    return {};
  text.resize(strnlen(text.data(), text.size() - 1));
  return text;
}

BOOL SetWindowText(HWND window, const char* text) {
  LRESULT taken = 0;
  if (!text || strnlen(text, kMaxWindowText + 1) > kMaxWindowText) return 0;
  return SendMessageTimeout(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), kTextWaitMs, &taken) && taken;
}
