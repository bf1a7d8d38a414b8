// The statics of the exported client that work on the current agent's cache.
#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/guarded.h"
#include "harvion/saf_client.h"

using hv::Guarded;

void CSafClient::SaveCache() {
  Guarded(0, [] { return static_cast<int>(CAgentManager::Instance().SaveCache()); });
}

void CSafClient::GarbageCollect() {
  Guarded(0, [] {
    CAgentManager& manager = CAgentManager::Instance();
    if (manager.Running()) return 0;  // records in flight must stay
    manager.GarbageCollect();
    return 1;
  });
}

void CSafClient::ClearCache() {
  Guarded(0, [] {
    CAgentManager& manager = CAgentManager::Instance();
    CAgentAnchor* agent = manager.Agent();
    if (!agent || manager.Running()) return 0;
    agent->ClearResults();
    return 1;
  });
}
