#include "engine/agent/agent_manager.h"
#include "harvion/exports.h"

std::string GetAgentsDirectory() {
  try {
    return CAgentManager::Instance().AgentFilesDirectory();
  } catch (...) {
    return {};
  }
}
