// Pages a run left unfetched because one of the engine's limits stopped
// them, so front ends can say so instead of reporting a partial run as whole.
#pragma once

#include "harvion/types.h"

struct HvRunLimits {
  unsigned keyLimit = 0;    // the agent's cache index held as many addresses as it takes
  unsigned sizeLimit = 0;   // the agent's size limit was reached and the run stopped
  unsigned depthLimit = 0;  // the page would have lain deeper in the agent's tree than items may
  unsigned Total() const { return keyLimit + sizeLimit + depthLimit; }
};

// Of the run going on, or else of the open agent's last run (kept with the
// agent between programs).
HV_EXPORT HvRunLimits GetRunLimits();
