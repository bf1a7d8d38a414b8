#include "engine/agent/agent_lock.h"

std::string CAgentLock::HiddenBeside(const std::string& agentFile, const std::string& suffix) {
  const std::size_t slash = agentFile.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  return agentFile.substr(0, start) + "." + agentFile.substr(start) + suffix;
}

CAgentLock::CAgentLock(const std::string& agentFile, Wait wait) : m_lock(HiddenBeside(agentFile, ".lock"), wait) {}

CAgentLock::~CAgentLock() { m_lock.RemoveLockFile(); }
