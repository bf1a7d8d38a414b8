// What the items of an agent keep beyond the agent file's fixed layout,
// whose bytes stay as every reader of agent files expects them: for now,
// where an item's requisites may come from. A small text file in the agent
// folder holds it, written after the agent file and read after it.
//
// The file, there only while some item takes requisites from any server:
// the line "harvion item extras 1", then a line per item with settings of
// its own, in tree order, parents first: "requisites", TAB, "any-server" or
// "strategy", then for each item from below the agent down to this one a
// TAB and the item's address or folder name ('%', control bytes and DEL
// written %XX). Lines end with LF. An item is found again by that path;
// items of the same path take their lines in order.
#pragma once

#include <string>

class CAgentAnchor;

namespace hv::item_extras {

// The file's name in the agent folder (beside the cache index, whose name it
// begins with, so that an agent folder holding it is still all the engine's).
std::string FileName();

// The file's text for the agent; empty when no item keeps anything.
std::string Text(CAgentAnchor& agent);
// Gives the agent's items what the text says. Lines that cannot be read,
// or name no item with settings of its own, are passed over; a text of
// another format changes nothing.
void Apply(CAgentAnchor& agent, const std::string& text);

// Reads the file in the folder; a missing, odd or oversized one changes
// nothing.
void Load(CAgentAnchor& agent, const std::string& folder);
// Writes the file in the folder by replacing it whole, or removes it when
// there is nothing to keep. Throws CFileException.
void Save(CAgentAnchor& agent, const std::string& folder);

}  // namespace hv::item_extras
