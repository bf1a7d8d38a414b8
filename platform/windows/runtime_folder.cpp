#include "platform/windows/runtime_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace hv::win {

bool IsPrivateFolder(const struct stat& info, uid_t user) {
  return S_ISDIR(info.st_mode) && info.st_uid == user && (info.st_mode & 077) == 0;
}

std::string RuntimeFolder(std::string* why) {
  const uid_t user = geteuid();
  const char* base = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = base && base[0] == '/' ? std::string(base) + "/harvion"
                                              : "/tmp/harvion-" + std::to_string(user);
  auto refuse = [&](const std::string& reason) {
    if (why) *why = folder + ": " + reason;
    return std::string();
  };
  // A folder made by someone else, or left open by us, stays as it is:
  // changing its mode would not undo what others did in it.
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return refuse(std::strerror(errno));
  if (!S_ISDIR(info.st_mode)) return refuse("not a folder");
  if (info.st_uid != user) return refuse("owned by another user");
  if (!IsPrivateFolder(info, user)) return refuse("open to other users");
  return folder;
}

}  // namespace hv::win
