#include "desktop_opener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char** environ;

namespace hvhost {

bool OpenWithDesktop(const std::string& fileUrl) {
  const char* argv[] = {"xdg-open", fileUrl.c_str(), nullptr};
  pid_t pid = -1;
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
    return false;
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();  // reaped, never waited for
  return true;
}

}  // namespace hvhost
