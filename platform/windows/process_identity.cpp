#include "platform/windows/process_identity.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace hv::win {

std::uint64_t ProcessStartTime(pid_t process) {
  if (process <= 0) return 0;
  const std::string path = "/proc/" + std::to_string(process) + "/stat";
  std::FILE* file = std::fopen(path.c_str(), "re");
  if (!file) return 0;
  char line[1024];
  const std::size_t length = std::fread(line, 1, sizeof line - 1, file);
  std::fclose(file);
  line[length] = '\0';
  // The name in parentheses may hold blanks and parentheses: count fields
  // after the last ")". The start time is field 22; the state is field 3.
  const char* at = std::strrchr(line, ')');
  if (!at) return 0;
  for (int field = 2; field < 22 && at; ++field) at = std::strchr(at + 1, ' ');
  if (!at) return 0;
  const std::uint64_t start = std::strtoull(at + 1, nullptr, 10);
  // A zombie has ended; only its parent has not asked for its status yet.
  const char* state = std::strrchr(line, ')') + 2;
  if (state < line + length && *state == 'Z') return 0;
  return start;
}

bool ProcessAlive(pid_t process, std::uint64_t startTime) {
  return startTime != 0 && ProcessStartTime(process) == startTime;
}

}  // namespace hv::win
