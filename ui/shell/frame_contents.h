// The agent's contents page (contents.html in its folder) from the tree the
// desktop program shows, written after each run.
#pragma once

#include <string>

namespace harvion {
struct ChangeReport;
}

namespace hvui {

class CAgentTreeView;

// The name (as the engine has it) and the folder of the agent open in the
// tree; empty without one.
std::string OpenAgentName(const CAgentTreeView& tree);
std::string OpenAgentFolder(const CAgentTreeView& tree);

// Writes the page into the agent folder; its path, or empty with why in error.
std::string WriteFrameContents(const CAgentTreeView& tree, const harvion::ChangeReport* lastRun, std::string& error);

}  // namespace hvui
