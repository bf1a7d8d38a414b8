#include "engine/agent/agent_manager.h"
#include "engine/agent/guarded.h"
#include "engine/cache/cache.h"
#include "harvion/agent_files.h"

int LoadAgentFileToRead(const char* name) {
  return hv::Guarded(0, [&] {
    CAgentManager& manager = CAgentManager::Instance();
    if (!name || !*name || !manager.Open(name, CAgentManager::Access::read)) return 0;
    manager.RefreshStatistics();
    return 1;
  });
}

int TryLoadAgentFile(const char* name) {
  return hv::Guarded(0, [&] {
    CAgentManager& manager = CAgentManager::Instance();
    if (!name || !*name) return 0;
    if (!manager.Open(name, CAgentManager::Access::changeIfFree)) return manager.Busy() ? -1 : 0;
    manager.RefreshStatistics();
    manager.GarbageCollect();
    return 1;
  });
}

int SaveAgentFileChecked(std::string& error) {
  error.clear();
  const int saved = hv::Guarded(0, [&] { return CAgentManager::Instance().Save(&error) ? 1 : 0; });
  if (!saved && error.empty()) error = "it cannot be written";
  return saved;
}

int SaveCacheChecked(std::string& error) {
  error.clear();
  const int saved = hv::Guarded(0, [] { return CAgentManager::Instance().SaveCache() ? 1 : 0; });
  if (!saved) error = CAgentManager::Instance().CacheSaveFailure();
  return saved;
}

int RemoveFilesNotInSavedIndex() {
  return hv::Guarded(0, [] {
    CCache* cache = CAgentManager::Instance().Cache();
    return cache ? static_cast<int>(cache->RemoveFilesTheSavedIndexLacks()) : 0;
  });
}

int RemoveOrphanAgentFolder(const char* name) {
  return hv::Guarded(0, [&] { return name && CAgentManager::Instance().RemoveOrphanFolder(name) ? 1 : 0; });
}
