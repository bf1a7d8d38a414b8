// The user's Harvion folder: settings, cookies and, by default, the agents.
#pragma once

#include <string>

namespace hv {

// $HARVION_HOME, else $XDG_DATA_HOME/harvion, else ~/.local/share/harvion;
// created (with its parents) when missing. Falls back to the temporary
// folder when none can be made.
std::string HomeDirectory();

}  // namespace hv
