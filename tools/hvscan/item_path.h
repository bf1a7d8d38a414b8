// A run entry's item as harvion tree shows it and harvion run takes it.
#pragma once

#include <optional>
#include <string>

#include "headless_ui_client.h"
#include "scheduled_run.h"

namespace hvscan {

// The names from the agent's top level down to the entry's item, joined by
// '/' ('/' and '\' inside a name escaped with '\'); a location without a
// name by its address. Empty for the agent itself; none when the agent or
// the item cannot be found. Opens the agent to read it, and closes it.
std::optional<std::string> ItemPath(const RunEntry& entry, const std::string& agentFolders,
                                    harvion::HeadlessUIClient& client);

}  // namespace hvscan
