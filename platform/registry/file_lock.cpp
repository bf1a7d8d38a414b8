#include "platform/registry/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace hv::reg::detail {

FileLock::FileLock(const std::string& path) {
  // Read-only is enough for flock and works on a lock file we cannot write.
  m_fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  if (m_fd < 0) return;
  while (::flock(m_fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(m_fd);
      m_fd = -1;
      return;
    }
  }
}

FileLock::~FileLock() {
  if (m_fd < 0) return;
  // Explicitly, in case a forked child still shares the descriptor.
  ::flock(m_fd, LOCK_UN);
  ::close(m_fd);
}

}  // namespace hv::reg::detail
