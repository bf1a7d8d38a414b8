// One scheduler per user: the first instance holds a lock on a file in the
// user's Harvion folder for as long as it runs.
#pragma once

#include <string>

namespace hvscan {

class InstanceLock {
 public:
  // Takes the lock when it is free; never waits.
  explicit InstanceLock(const std::string& path);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False when another instance holds it (or the file cannot be made).
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

}  // namespace hvscan
