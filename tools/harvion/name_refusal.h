// Why an agent cannot be created or renamed under a name, told after the
// engine refused it: the name breaks the rule, is taken, is held by another
// program, or the agents folder cannot take it (with the system's words).
#pragma once

#include <string>

namespace harvion {

enum class NameUse { create, rename };

// The reason, or empty when none can be found.
std::string AgentNameRefusal(const std::string& name, NameUse use);

}  // namespace harvion
