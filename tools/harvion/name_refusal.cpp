#include "name_refusal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "harvion/exports.h"

namespace harvion {

namespace {

// Every file of an agent must fit in a file name of 255 bytes: the longest
// is the temporary file of a save, "." + name + ".hvx." + six characters.
constexpr std::size_t kLongestName = 243;

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Whether another program holds the agent's lock, as it does while it has
// the agent open to change it.
bool HeldElsewhere(const std::string& folder, const std::string& name) {
  const std::string path = folder + "/." + name + ".hvx.lock";
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (!held) flock(fd, LOCK_UN);
  close(fd);
  return held;
}

}  // namespace

std::string AgentNameRefusal(const std::string& name, NameUse use) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.size() > kLongestName)
    return "not a usable name (names are 1 to " + std::to_string(kLongestName) +
           " bytes long, without '/', and not '.' or '..')";
  const std::string folder = GetAgentsDirectory();
  if (Exists(folder + "/" + name + ".hvx")) return "agent '" + name + "' already exists";
  if (HeldElsewhere(folder, name)) return "agent '" + name + "' is open in another program";
  const std::string path = folder + "/" + name;
  // A new agent takes over a folder holding only an agent's files; one with
  // anything else, or a file of that name, is not the agent's to take.
  if (Exists(path)) return "'" + path + "' is in the way";
  if (use == NameUse::rename) {
    if (access(folder.c_str(), W_OK | X_OK) != 0) return "cannot write in '" + folder + "': " + std::strerror(errno);
    return {};
  }
  // The folder is what a create makes first: trying it tells why it failed.
  if (mkdir(path.c_str(), 0700) != 0) return "cannot make its folder '" + path + "': " + std::strerror(errno);
  rmdir(path.c_str());
  return {};
}

}  // namespace harvion
