// An exclusive advisory lock between our processes, held on a file of its
// own: the data file is replaced by rename, so a lock on it would be lost
// with its old inode.
#pragma once

#include <string>

namespace hv::reg::detail {

class FileLock {
 public:
  // Creates the lock file (mode 0600) when missing and waits for the lock.
  explicit FileLock(const std::string& path);
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // False when the lock file could not be opened or locked.
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

}  // namespace hv::reg::detail
