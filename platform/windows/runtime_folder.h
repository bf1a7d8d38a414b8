// The per-user folder where this user's processes find each other's windows:
// $XDG_RUNTIME_DIR/harvion, else /tmp/harvion-UID. Nobody else may enter it,
// since whoever can put a socket there could speak for our windows.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace hv::win {

// Whether a folder described by lstat may be used by this user: a real
// folder (no link), owned by the user, with no rights for group or others.
bool IsPrivateFolder(const struct stat& info, uid_t user);

// Creates the folder (mode 0700) when missing and checks it. Empty when it is
// refused, with the reason in why.
std::string RuntimeFolder(std::string* why = nullptr);

}  // namespace hv::win
