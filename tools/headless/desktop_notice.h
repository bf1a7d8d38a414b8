// A notification on the user's desktop for a program without windows:
// notify-send, started with its arguments as a list (no shell), offering
// to open the report; a click on it opens the report with xdg-open.
#pragma once

#include <string>

#include "change_notice.h"

namespace harvion {

// Whether a desktop session bus is there to take notifications.
bool HasSessionBus();

// Shows the notice and returns at once: a process of its own waits for the
// click, for at most an hour. Does nothing without a session bus or without
// notify-send. False when nothing was started.
bool SendDesktopNotice(const ChangeNotice& notice);

}  // namespace harvion
