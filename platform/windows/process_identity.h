// Tells a living process from a dead one whose number was given again: the
// number together with the time the process started.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace hv::win {

// The start time of a process in clock ticks since boot; 0 when there is no
// such process.
std::uint64_t ProcessStartTime(pid_t process);

// Whether the process that started at that time still runs.
bool ProcessAlive(pid_t process, std::uint64_t startTime);

}  // namespace hv::win
