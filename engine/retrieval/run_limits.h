// Counts the pages a run does not fetch because a limit stops them: the
// cache index's key limit, the agent's size limit, the tree's depth.
#pragma once

#include <string>

#include "harvion/run_limits.h"

namespace hv::run {

// A run starts: nothing stopped yet.
void ResetLimits();
// The cache index took no record for the address of a link the run would
// have followed; each address counts once.
void NoteKeyLimit(const std::string& address);
// A page was given up because it would lie too deep in the tree.
void NoteDepthLimit();
// The size limit is stopping the run: every page that ends with the stop
// from now on (still queued, or being received) counts.
void NoteSizeLimitStop();
// A page's request ended with the status.
void NoteRequestEnd(int status);
// A page's body was cut off because it reached the agent's size limit.
void NotePageCutAtSizeLimit();
HvRunLimits Limits();

// The counts of the open agent's last run live beside its index (the
// index's name + ".limits"), so that a later look at the agent can say how
// incomplete that run was: Load when an agent's cache opens, Save when a run
// ends (a run without such pages leaves no file).
void LoadLimits(const std::string& cacheFolder);
void SaveLimits(const std::string& cacheFolder);

}  // namespace hv::run
