// An advisory lock between our processes, held on a file of its own: a data
// file that is replaced by rename would lose a lock with its old inode.
#pragma once

#include <string>

namespace hv::fs {

class FileLock {
 public:
  enum class Wait { untilFree, no };

  // Creates the lock file (mode 0600) when missing and takes the lock,
  // waiting for it unless told not to.
  explicit FileLock(const std::string& path, Wait wait = Wait::untilFree);
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // False when the lock file could not be opened, or the lock was busy and
  // waiting was not wanted.
  bool Held() const { return m_fd >= 0; }

  // Deletes the lock file while the lock is held, for a lock of something
  // that is gone. Whoever waits on it takes the lock afresh on a new file.
  void RemoveLockFile();

 private:
  int m_fd = -1;
  std::string m_strPath;
};

}  // namespace hv::fs
