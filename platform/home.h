// The user's Harvion folder: settings, cookies and, by default, the agents.
#pragma once

#include <string>

namespace hv {

// $HARVION_HOME, else $XDG_DATA_HOME/harvion, else ~/.local/share/harvion;
// created (with its parents, each private to the user) when missing. Empty
// when none can be made: settings, passwords and cookies then have no place,
// and a shared folder such as the temporary one would give them to others.
std::string HomeDirectory();

// Why HomeDirectory is empty ("the Harvion folder /x cannot be made: ..."),
// else empty.
std::string HomeProblem();

}  // namespace hv
