// Whether a text can be the address of a web location, and if not, why:
// what a front end says when it refuses one, and what import counts.
#pragma once

#include "harvion/types.h"

enum class HvAddressFault {
  none,         // "http://host..." or "https://host...", letter case aside
  noScheme,     // no scheme at all: a bare host name, a relative link, words
  otherScheme,  // mailto:, ftp:, javascript: and the like
  noHost,       // a web scheme without "//" and a host name after it
};

HV_EXPORT HvAddressFault WebAddressFault(const char* address);
