// Garbage collection of the cache index: records no location uses any more
// are dropped with their files, and stored files no key names are deleted.
#include <dirent.h>
#include <fnmatch.h>

#include <unordered_set>

#include "engine/cache/cache.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"

void CCache::BeginCollection() {
  std::lock_guard guard(Lock());
  for (const auto& record : m_records) {
    record->m_bInUse = 0;
    record->m_bKeepCopy = 0;
  }
}

void CCache::Collect() {
  std::lock_guard guard(Lock());
  CPageMap kept;
  struct Entry {
    std::string key;
    CPageDescr* record;
    bool fileKey;  // the record's local-name key, decided by the record below
  };
  std::vector<Entry> entries;
  m_map.ForEach([&](const std::string& key, CPageDescr* record) {
    entries.push_back({key, record, key == record->m_strLocalFile && key != record->m_strAddress});
  });
  for (const auto& [key, record, fileKey] : entries) {
    if (!record->m_bInUse || fileKey) continue;
    kept.SetAt(key, record);
    if (record->m_strLocalFile.empty()) continue;
    if (record->m_bKeepCopy && record->m_nState != CPageDescr::kNotStored) {
      kept.SetAt(record->m_strLocalFile, record);
    } else {
      record->DropFile(*this, nullptr);
      // Without its key the name would point nowhere: the next copy gets a
      // new name and key.
      record->m_strLocalFile.clear();
    }
  }
  m_map = std::move(kept);

  // Drop the records nobody uses; no surviving record may point at them.
  std::unordered_set<const CPageDescr*> dropped;
  for (auto& record : m_records) {
    if (record->m_bInUse) continue;
    record->DropFile(*this, nullptr);
    dropped.insert(record.get());
  }
  if (!dropped.empty()) {
    std::erase_if(m_records, [&](const auto& record) { return dropped.count(record.get()) != 0; });
    for (const auto& record : m_records)
      if (dropped.count(record->m_pStateChangedBy)) record->m_pStateChangedBy = nullptr;
    if (m_pTotals) m_pTotals->MarkCacheChanged();
  }

  // Stored files that no key names are left-overs of earlier runs.
  const std::string pattern = hv::res::LoadString(hv::res::IDS_STORED_PATTERN);
  if (DIR* dir = opendir(m_strDirectory.c_str())) {
    std::vector<std::string> strays;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0 && !m_map.Lookup(name)) strays.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : strays) hv::fs::RemoveFile(PathOf(name));
  }
  CheckPlaceholder();
}
