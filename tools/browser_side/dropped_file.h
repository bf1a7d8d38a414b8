// The first file of a dropped-file list block (a 20-byte header whose first
// word is the list's offset and whose word at 16 says wide characters, then
// zero-terminated names and a final zero), read within the block's bounds.
#pragma once

#include <string>

#include "harvion/types.h"

namespace hvside {

// Empty when the block holds no whole first name.
std::string FirstDroppedFile(HDROP drop);

}  // namespace hvside
