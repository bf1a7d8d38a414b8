#include "platform/files/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace hv::fs {

namespace {

// The locked descriptor still names the file at path: a holder may have
// deleted the lock file, and a lock on the deleted inode guards nothing.
bool StillNamed(int fd, const std::string& path) {
  struct stat held {}, named {};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

FileLock::FileLock(const std::string& path, Wait wait) : m_strPath(path) {
  const int operation = LOCK_EX | (wait == Wait::no ? LOCK_NB : 0);
  for (;;) {
    // Read-only is enough for flock and works on a lock file we cannot write.
    // Non-blocking, as a FIFO in its place would otherwise hold the open;
    // never through a link, which would make the file wherever it points.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    if (struct stat st {}; ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return;
    }
    int result;
    while ((result = ::flock(fd, operation)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
      ::close(fd);
      return;
    }
    if (StillNamed(fd, path)) {
      m_fd = fd;
      return;
    }
    ::close(fd);
  }
}

FileLock::~FileLock() {
  if (m_fd < 0) return;
  // Explicitly, in case a forked child still shares the descriptor.
  ::flock(m_fd, LOCK_UN);
  ::close(m_fd);
}

void FileLock::RemoveLockFile() {
  if (m_fd >= 0) ::unlink(m_strPath.c_str());
}

}  // namespace hv::fs
