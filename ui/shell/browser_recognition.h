// Which browser a browser window belongs to, told by the windows it lists:
// a marker child and a chain of child identifiers down to its address field.
#pragma once

#include <optional>

#include "harvion/types.h"
#include "shell/browser_text.h"

namespace hvui {

struct RecognizedBrowser {
  BrowserKind kind;
  HWND locationEdit;
};

// Netscape: a visible child 59519 and the chain 112, 25000, 1001. Else
// Internet Explorer: class "IEFrame", no parent, a menu, and the chain
// 40965, 40965, 40962, 40962, 40962. The last of a chain is the address
// field. Nothing for any other window.
std::optional<RecognizedBrowser> RecognizeBrowser(HWND window);

}  // namespace hvui
