#include "platform/home.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files/file_system.h"

namespace hv {

namespace {

bool MakeDirectories(const std::string& path) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') {
      const std::string part = path.substr(0, pos);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  return fs::IsDirectory(path);
}

std::string UserHome() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

}  // namespace

std::string HomeDirectory() {
  std::string dir;
  if (const char* env = std::getenv("HARVION_HOME"); env && *env) {
    dir = env;
  } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    dir = std::string(xdg) + "/harvion";
  } else if (std::string home = UserHome(); !home.empty()) {
    dir = home + "/.local/share/harvion";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (!dir.empty() && MakeDirectories(dir)) return dir;
  return fs::TempDirectory();
}

}  // namespace hv
