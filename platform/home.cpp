#include "platform/home.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files/file_system.h"

namespace hv {

namespace {

// Makes the folders of the path that are missing, each 0700 whatever the
// umask; errno tells why when false.
bool MakeDirectories(const std::string& path) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) == 0) {
      // The folder just made, never a link put in its place since.
      const int fd = ::open(part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) return false;
      const bool narrowed = ::fchmod(fd, 0700) == 0;
      ::close(fd);
      if (!narrowed) return false;
    } else if (errno != EEXIST) {
      return false;
    }
  }
  if (fs::IsDirectory(path)) return true;
  errno = ENOTDIR;
  return false;
}

std::string UserHome() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

// The folder to use, and why there is none.
std::string Locate(std::string& problem) {
  std::string dir;
  if (const char* env = std::getenv("HARVION_HOME"); env && *env) {
    dir = env;
  } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    dir = std::string(xdg) + "/harvion";
  } else if (std::string home = UserHome(); !home.empty()) {
    dir = home + "/.local/share/harvion";
  } else {
    problem = "no Harvion folder: neither HARVION_HOME nor HOME is set";
    return {};
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (MakeDirectories(dir)) return dir;
  problem = "the Harvion folder " + dir + " cannot be made: " + std::strerror(errno);
  return {};
}

}  // namespace

std::string HomeDirectory() {
  std::string problem;
  return Locate(problem);
}

std::string HomeProblem() {
  std::string problem;
  Locate(problem);
  return problem;
}

}  // namespace hv
