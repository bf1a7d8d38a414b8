// Handle values that say which process gave them out, so one number names a
// window for every process of the user: a mark bit, the process id, and a
// counter within the process.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "harvion/message_target.h"

namespace hv::win {

static_assert(sizeof(std::uintptr_t) == 8, "handles carry the process id in their upper half");

constexpr std::uint64_t kHandleMark = std::uint64_t(1) << 62;

inline std::uint64_t HandleValue(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
inline HWND MakeHandle(pid_t process, std::uint32_t counter) {
  return reinterpret_cast<HWND>(kHandleMark | (std::uint64_t(std::uint32_t(process)) << 32) | counter);
}
// 0 for a value without the mark.
inline pid_t HandleProcess(HWND window) {
  const std::uint64_t value = HandleValue(window);
  if ((value & ~(kHandleMark - 1)) != kHandleMark) return 0;
  return static_cast<pid_t>((value >> 32) & 0x3FFFFFFF);
}

// Delivery to a target of this process, for the link thread. False when the
// target is gone; the reply is then dropped unanswered.
bool DeliverPosted(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool DeliverSent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ReplyFunction reply);

}  // namespace hv::win
