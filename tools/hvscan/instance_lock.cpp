#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace hvscan {

InstanceLock::InstanceLock(const std::string& path) {
  // Close-on-exec: whatever a run starts must not keep the scheduler's lock.
  // Never through a link, which would make the file wherever it points.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  m_fd = fd;
}

// The file stays: removing it would let a second instance lock a new file
// while a third still waits on the old one.
InstanceLock::~InstanceLock() {
  if (m_fd >= 0) ::close(m_fd);
}

}  // namespace hvscan
