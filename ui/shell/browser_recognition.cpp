#include "shell/browser_recognition.h"

#include <cstring>
#include <initializer_list>

#include "harvion/child_window.h"

namespace hvui {

namespace {

HWND FollowChain(HWND window, std::initializer_list<int> chain) {
  for (const int id : chain) {
    window = GetDlgItem(window, id);
    if (!window) return nullptr;
  }
  return window;
}

}  // namespace

std::optional<RecognizedBrowser> RecognizeBrowser(HWND window) {
  if (!window) return std::nullopt;
  const HWND marker = GetDlgItem(window, 59519);
  if (marker && IsWindowVisible(marker)) {
    if (const HWND edit = FollowChain(window, {112, 25000, 1001})) return RecognizedBrowser{BrowserKind::Netscape, edit};
  }
  char className[16] = {};
  // The whole name, its zero included: "IEFrameX" is another class.
  if (GetClassName(window, className, sizeof className) == 7 && std::strcmp(className, "IEFrame") == 0 &&
      !GetParent(window) && HasMenu(window)) {
    if (const HWND edit = FollowChain(window, {40965, 40965, 40962, 40962, 40962}))
      return RecognizedBrowser{BrowserKind::InternetExplorer, edit};
  }
  return std::nullopt;
}

}  // namespace hvui
