// Message numbers by name, for messages that modules outside the engine post
// to its windows: the same name always gives the same number.
#pragma once

#include "harvion/types.h"

// A number from 0xC000 to 0xFFFF, names compared without regard to case; 0
// for an empty name or when every number is taken.
UINT RegisterWindowMessage(const char* name);
