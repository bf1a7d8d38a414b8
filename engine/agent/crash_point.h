// Named places between the steps of a change to an agent's files, where a
// crash leaves them half changed. Nothing happens there unless a test
// installs a handler that ends the process, to check what the next command
// makes of what is left.
#pragma once

namespace hv {

using CrashHandler = void (*)(const char* point);

// Installs the handler (null: none) and returns the previous one.
CrashHandler SetCrashHandler(CrashHandler handler);
void CrashPoint(const char* point);

}  // namespace hv
