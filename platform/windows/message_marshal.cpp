#include "platform/windows/message_marshal.h"

#include <algorithm>
#include <cstring>

#include "harvion/global_memory.h"
#include "harvion/window_messages.h"
#include "platform/windows/window_directory.h"
#include "platform/windows/window_handle.h"

namespace hv::win {

namespace {

constexpr const char* kStatusBarClass = "msctls_statusbar32";

// The status bar's messages are numbered in the range each window class
// gives its own meaning: only a status bar's carry a text.
bool IsStatusBar(std::uint64_t window) {
  for (const auto& entry : ListedWindows())
    if (HandleValue(entry.window) == window) return entry.className == kStatusBarClass;
  return false;
}

UINT Effective(UINT message, std::uint64_t window) {
  if (message == SB_GETTEXT && !IsStatusBar(window)) return 0;
  return message;
}

// Messages whose answer is a text written into the sender's buffer.
bool ReturnsText(UINT message) {
  return message == WM_GETTEXT || message == LB_GETTEXT || message == SB_GETTEXT;
}

bool CarriesPointer(UINT message) { return ReturnsText(message) || message == WM_SETTEXT || message == WM_DROPFILES; }

}  // namespace

bool PackOutgoing(LinkFrame& frame, LPARAM callerLParam, bool sent) {
  const UINT message = Effective(frame.message, frame.window);
  if (!CarriesPointer(message)) return true;
  // The receiver's copy takes the place of the pointer.
  frame.lParam = 0;
  if (message == WM_DROPFILES) {
    const auto block = reinterpret_cast<HGLOBAL>(frame.wParam);
    const std::size_t size = GlobalSize(block);
    if (sent || size == 0 || size > kMaxPayload) return false;
    const void* bytes = GlobalLock(block);
    if (!bytes) return false;
    frame.payload.assign(static_cast<const char*>(bytes), size);
    GlobalUnlock(block);
    frame.wParam = 0;
    return true;
  }
  if (!sent) return false;
  if (message == WM_SETTEXT) {
    const char* text = reinterpret_cast<const char*>(callerLParam);
    if (!text) return false;
    const std::size_t length = strnlen(text, kMaxWindowText + 1);
    if (length > kMaxWindowText) return false;
    frame.payload.assign(text, length);
  } else if (message == WM_GETTEXT) {
    frame.wParam = std::min<WPARAM>(frame.wParam, kMaxWindowText + 1);
  }
  return true;
}

LRESULT UnpackReply(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT result,
                    const std::string& payload) {
  message = Effective(message, HandleValue(window));
  if (!ReturnsText(message)) return payload.empty() ? result : 0;
  char* buffer = reinterpret_cast<char*>(lParam);
  const std::size_t text = std::min(payload.size(), kMaxWindowText);
  if (message == WM_GETTEXT) {
    if (!buffer || wParam == 0) return 0;
    const std::size_t copied = std::min<std::size_t>(text, wParam - 1);
    std::memcpy(buffer, payload.data(), copied);
    buffer[copied] = '\0';
    return LRESULT(copied);
  }
  if (message == LB_GETTEXT && result == LB_ERR) return LB_ERR;
  if (!buffer) return 0;
  std::memcpy(buffer, payload.data(), text);
  buffer[text] = '\0';
  if (message == SB_GETTEXT) return (result & ~LRESULT(0xFFFF)) | LRESULT(text);
  return LRESULT(text);
}

bool IncomingMessage::Unpack(const LinkFrame& frame) {
  m_message = Effective(frame.message, frame.window);
  m_wParam = frame.wParam;
  m_lParam = frame.lParam;
  const bool sent = frame.kind == FrameKind::sent;
  if (!CarriesPointer(m_message)) return frame.payload.empty();
  if (m_message == WM_DROPFILES) {
    if (sent || frame.payload.empty()) return false;
    HGLOBAL block = GlobalAlloc(GHND, frame.payload.size());
    void* bytes = block ? GlobalLock(block) : nullptr;
    if (!bytes) return false;
    std::memcpy(bytes, frame.payload.data(), frame.payload.size());
    GlobalUnlock(block);
    m_wParam = reinterpret_cast<WPARAM>(block);
    m_lParam = 0;
    return true;
  }
  if (!sent) return false;
  if (m_message == WM_SETTEXT) {
    if (frame.payload.size() > kMaxWindowText || frame.payload.find('\0') != std::string::npos) return false;
    m_buffer = frame.payload;
  } else {
    if (!frame.payload.empty()) return false;
    if (m_message == WM_GETTEXT && m_wParam > kMaxWindowText + 1) return false;
    m_buffer.assign(m_message == WM_GETTEXT ? std::size_t(m_wParam) : kMaxWindowText + 1, '\0');
  }
  // The target writes at most the size it is told, and a text is read up to
  // its first zero; one more zero guards a target that writes the whole size.
  m_buffer.push_back('\0');
  m_lParam = reinterpret_cast<LPARAM>(m_buffer.data());
  return true;
}

std::string IncomingMessage::ReplyPayload(LRESULT result) const {
  if (!ReturnsText(m_message) || m_buffer.empty()) return {};
  if (m_message == LB_GETTEXT && result == LB_ERR) return {};
  const std::size_t limit = std::min(m_buffer.size() - 1, kMaxWindowText);
  return std::string(m_buffer.data(), strnlen(m_buffer.data(), limit));
}

void IncomingMessage::Discard() {
  if (m_message == WM_DROPFILES && m_wParam) GlobalFree(reinterpret_cast<HGLOBAL>(m_wParam));
  m_wParam = 0;
}

}  // namespace hv::win
