// The lock of one agent, held by whoever changes it from opening to saving,
// so that commands on one agent queue instead of overwriting each other's
// work. It lies beside the agent file as ".NAME.hvx.lock": the agent file
// itself is replaced by rename at every save.
#pragma once

#include <string>

#include "platform/files/file_lock.h"

class CAgentLock {
 public:
  using Wait = hv::fs::FileLock::Wait;

  // "." + the agent file's name + suffix, beside it: the lock file and the
  // rename journal.
  static std::string HiddenBeside(const std::string& agentFile, const std::string& suffix);

  CAgentLock(const std::string& agentFile, Wait wait);
  // The lock file goes with the lock, so none is left lying about; whoever
  // waits for it locks a new one.
  ~CAgentLock();
  CAgentLock(const CAgentLock&) = delete;
  CAgentLock& operator=(const CAgentLock&) = delete;

  bool Held() const { return m_lock.Held(); }

 private:
  hv::fs::FileLock m_lock;
};
