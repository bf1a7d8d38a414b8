#include "engine/cache/cache.h"

#include <algorithm>
#include <cctype>

std::recursive_mutex& CCache::Lock() {
  static std::recursive_mutex lock;
  return lock;
}

CCache::CCache(std::string directory) : m_strDirectory(std::move(directory)) {}

CCache::~CCache() = default;

CPageDescr* CCache::Find(const std::string& key) const {
  auto it = m_map.find(key);
  return it == m_map.end() ? nullptr : it->second;
}

namespace {

bool MayHaveRecord(const std::string& address) {
  if (address.find_first_of(":/\\") == std::string::npos) return true;  // a bare name
  static const char kHttp[] = "http:";
  return address.size() >= 5 && std::equal(address.begin(), address.begin() + 5, kHttp, [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

}  // namespace

CPageDescr* CCache::FindOrCreate(const std::string& address) {
  if (address.empty()) return nullptr;
  if (CPageDescr* found = Find(address)) return found;
  if (KeyCount() > kKeyLimit) return nullptr;
  if (!MayHaveRecord(address)) return nullptr;
  m_records.push_back(std::make_unique<CPageDescr>(address));
  CPageDescr* record = m_records.back().get();
  m_map.emplace(address, record);
  return record;
}

void CCache::AddKey(const std::string& key, CPageDescr* record) { m_map[key] = record; }

bool CCache::Contains(const CPageDescr* record) const {
  return record && (Find(record->m_strAddress) == record ||
                    (!record->m_strLocalFile.empty() && Find(record->m_strLocalFile) == record));
}
