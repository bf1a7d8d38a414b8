// The cache index of the open agent: one record per web address, entered
// under its address (and, for a stored page, its local file name too).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/cache/page_descr.h"

class CCache : public CObject {
 public:
  static constexpr int kKeyLimit = 4989;

  // The one process-wide lock over the map, the file counter and the records
  // handed out by the locked lookups.
  static std::recursive_mutex& Lock();

  explicit CCache(std::string directory);
  ~CCache() override;

  const std::string& Directory() const { return m_strDirectory; }
  // The agent's folder was renamed.
  void SetDirectory(std::string directory) { m_strDirectory = std::move(directory); }

  // Looks a key up; null when absent. Takes no lock.
  CPageDescr* Find(const std::string& key) const;
  // The record of the address, creating it when the address may have one: a
  // bare name (no ':', '/' or '\') or an address beginning with "http:" in any
  // case. Null for an empty or refused address, or when the map is full.
  CPageDescr* FindOrCreate(const std::string& address);
  // Enters another key for a record.
  void AddKey(const std::string& key, CPageDescr* record);
  // True when the record is entered under some key of the map.
  bool Contains(const CPageDescr* record) const;
  int KeyCount() const { return static_cast<int>(m_map.size()); }

  std::int32_t m_nNextFileNumber = 0;

 private:
  std::string m_strDirectory;
  std::unordered_map<std::string, CPageDescr*> m_map;
  std::vector<std::unique_ptr<CPageDescr>> m_records;  // owns every record of the map
};
