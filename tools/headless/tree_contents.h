// The contents page of the agent open in a program without windows, from
// its headless tree.
#pragma once

#include <string>

#include "change_report.h"

namespace harvion {

class UITreeNode;

// Writes FOLDER/contents.html for the agent whose root is given; lastRun:
// what the run that just ended changed, null without a run. The page's
// path, or empty with why in error. Call while no run is going on.
std::string WriteTreeContents(const UITreeNode& root, const std::string& folder, const ChangeReport* lastRun,
                              std::string& error);

}  // namespace harvion
