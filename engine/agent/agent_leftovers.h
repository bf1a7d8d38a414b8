// What an interrupted change leaves of an agent: temporary files of a save
// that never finished, and an agent folder whose agent file never came (an
// interrupted create) or is already gone (an interrupted delete).
#pragma once

#include <string>

#include <vector>

namespace hv::leftovers {

// The entries of the folder but "." and ".."; false when it cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>& names);

// Whether entry is a temporary file of a save of fileName: "." + fileName +
// "." + six letters or digits.
bool IsTemporaryOf(const std::string& entry, const std::string& fileName);
// Deletes the temporary files of fileName in the folder. Only while holding
// the agent's lock: every live writer holds it too.
void RemoveStaleTemporaries(const std::string& folder, const std::string& fileName);
// Whether the folder holds nothing but files the engine makes in an agent
// folder (cache index, its temporaries and damaged copies, placeholder,
// stored pages, previous copies, framesets), so that it can be reused or deleted without losing anything
// of the user's.
bool HoldsOnlyAgentFiles(const std::string& folder);

}  // namespace hv::leftovers
