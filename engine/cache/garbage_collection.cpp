// Garbage collection of the cache index: records no location uses any more
// are dropped with their files, and stored files no key names are deleted.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unordered_set>

#include "engine/cache/cache.h"
#include "engine/cache/local_name.h"
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
  // Dropping it only for CheckPlaceholder to make it again would mark the
  // index changed at every collection.
  if (CPageDescr* placeholder = Find(hv::res::LoadString(hv::res::IDS_PLACEHOLDER))) placeholder->m_bInUse = 1;
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
      // A record with neither copy nor file stays as it is: stamped
      // "changed now", it would make the next run wait for a new second.
      if (record->m_nState != CPageDescr::kNotStored || hv::fs::Exists(PathOf(record->m_strLocalFile)))
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

  if (!m_bIndexLost) {
    RemoveStraysLocked();
    // A previous copy goes with its page's copy.
    m_previous.RemoveUnless(m_strDirectory, [this](const std::string& name) {
      const CPageDescr* page = Find(name);
      return page && page->m_strLocalFile == name && page->m_nState != CPageDescr::kNotStored;
    });
  }
  CheckPlaceholder();
}

std::size_t CCache::RemoveFilesNotInLocked(const CPageMap& known) {
  // Stored files that no key names are left-overs of earlier runs. The
  // folder may be a link (a cache moved to another disk), but nothing in
  // it is followed: only regular files with the page store's names go,
  // looked at and removed relative to the folder that was opened.
  const int folder = ::open(m_strDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return 0;
  DIR* dir = ::fdopendir(folder);
  if (!dir) {
    ::close(folder);
    return 0;
  }
  std::vector<std::string> strays;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!hv::cache::IsStoredFileName(name) || known.Lookup(name)) continue;
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) strays.push_back(name);
  }
  std::size_t removed = 0;
  for (const std::string& name : strays)
    if (::unlinkat(folder, name.c_str(), 0) == 0) ++removed;
  ::closedir(dir);  // closes the folder too
  return removed;
}
