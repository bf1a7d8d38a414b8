// The list of this process's findable windows, kept in a file per process in
// the runtime folder ("PID.windows") beside the process's socket, and the
// reading of every process's list.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harvion/top_level_window.h"

namespace hv::win {

// The windows a list file names, when its text is one: a first line
// "harvion-windows 2 PID START" and one line per window: handle, parent
// handle (0 for none), control identifier, flags (1 visible, 2 menu), class
// and title, separated by tabs. Lines naming another process's handles are
// skipped. False for anything else.
bool ParseWindowList(const std::string& text, pid_t process, std::uint64_t& startTime,
                     std::vector<TopLevelWindow>& windows);

// Every listed window of every living process of the user, children too.
std::vector<TopLevelWindow> ListedWindows();

// Whether a name may be listed: 1 to 255 bytes, no control characters.
bool IsListableName(const char* name);

}  // namespace hv::win
