#include "engine/cache/cache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "engine/cache/body_digests.h"
#include "engine/cache/known_extensions.h"
#include "engine/cache/local_name.h"
#include "engine/http/web_scheme.h"
#include "harvion/exports.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "platform/files/temp_file.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

IMPLEMENT_SERIAL(CCache, CObject, 1)

namespace {

// The smallest association in an index file: an empty key (one byte) and a
// back-reference (two).
constexpr std::size_t kMinAssocSize = 3;
// Every address has at most one file-name key besides its own, so an index
// of ours never comes near this; it bounds the memory a hostile file can
// make the reader take.
constexpr std::uint32_t kMaxLoadedKeys = 4 * (CCache::kKeyLimit + 1);
// "The cache index was damaged and is kept as %s; ..."
constexpr unsigned kDamagedIndexText = 508;

bool MayHaveRecord(const std::string& address) {
  if (address.find_first_of(":/\\") == std::string::npos) return true;  // a bare name
  return hv::http::WebSchemeLength(address) > 0;
}

// The number in a local file name ("3S" + hex digits + extension), or -1.
std::int64_t LocalFileNumber(const std::string& name) {
  if (name.size() < 3 || name[0] != '3' || name[1] != 'S') return -1;
  std::int64_t n = 0;
  std::size_t i = 2;
  for (; i < name.size() && i < 10 && std::isxdigit(static_cast<unsigned char>(name[i])); ++i)
    n = n * 16 + (std::isdigit(static_cast<unsigned char>(name[i])) ? name[i] - '0'
                                                                       : std::tolower(name[i]) - 'a' + 10);
  return i == 2 ? -1 : n;
}

}  // namespace

std::recursive_mutex& CCache::Lock() {
  static std::recursive_mutex lock;
  return lock;
}

CCache::CCache() : m_strKnownExtensions(hv::cache::KnownExtensions()) {}

CCache::CCache(std::string directory)
    : m_strDirectory(std::move(directory)), m_strKnownExtensions(hv::cache::KnownExtensions()) {}

// Replacement copies kept for reuse belong to the folder of the open agent.
CCache::~CCache() {
  if (m_bOwnsSpareFiles) hv::fs::ReleaseSpareFiles();
}

std::string CCache::PathOf(const std::string& localFile) const {
  return hv::cache::IsLocalName(localFile) ? m_strDirectory + "/" + localFile : std::string();
}

std::uint32_t CCache::IndexWrittenAt() const {
  struct stat info {};
  if (::stat(IndexPath().c_str(), &info) != 0) return 0;
  return static_cast<std::uint32_t>(info.st_mtime);
}

std::string CCache::IndexPath() const { return PathOf(hv::res::LoadString(hv::res::IDS_CACHE_INDEX)); }

// ---- the map ---------------------------------------------------------------

CPageDescr* CCache::Find(const std::string& key) const { return m_map.Lookup(key); }

CPageDescr* CCache::FindLocked(const std::string& key) {
  Lock().lock();
  CPageDescr* record = Find(key);
  if (!record) Lock().unlock();
  return record;
}

CPageDescr* CCache::FindOrCreateLocked(const std::string& address) {
  Lock().lock();
  CPageDescr* record = nullptr;
  try {
    record = FindOrCreate(address);
  } catch (...) {
    Lock().unlock();
    throw;
  }
  if (!record) Lock().unlock();
  return record;
}

CPageDescr* CCache::FindOrCreate(const std::string& address) {
  if (address.empty() || address.size() > kMaxAddress) return nullptr;
  std::lock_guard guard(Lock());
  if (CPageDescr* found = Find(address)) return found;
  if (KeyCount() > m_nKeyLimit) return nullptr;
  if (!MayHaveRecord(address)) return nullptr;
  m_records.push_back(std::make_unique<CPageDescr>(address));
  CPageDescr* record = m_records.back().get();
  m_map.SetAt(address, record);
  return record;
}

bool CCache::RefusedAtKeyLimit(const std::string& address) const {
  std::lock_guard guard(Lock());
  return KeyCount() > m_nKeyLimit && !address.empty() && address.size() <= kMaxAddress &&
         MayHaveRecord(address) && !Find(address);
}

void CCache::AddKey(const std::string& key, CPageDescr* record) {
  std::lock_guard guard(Lock());
  m_map.SetAt(key, record);
}

void CCache::RemoveKey(const std::string& key) {
  std::lock_guard guard(Lock());
  m_map.RemoveKey(key);
}

bool CCache::Contains(const CPageDescr* record) const {
  return record && (Find(record->m_strAddress) == record ||
                    (!record->m_strLocalFile.empty() && Find(record->m_strLocalFile) == record));
}

std::vector<CPageDescr*> CCache::Records() const {
  std::vector<CPageDescr*> records;
  std::unordered_set<const CPageDescr*> seen;
  m_map.ForEach([&](const std::string&, CPageDescr* record) {
    if (seen.insert(record).second) records.push_back(record);
  });
  return records;
}

std::int32_t CCache::NextFileNumber() {
  std::lock_guard guard(Lock());
  const std::int32_t number = m_nNextFileNumber;
  // Wraps rather than overflowing: names are only unique modulo 2^32 anyway.
  m_nNextFileNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(number) + 1u);
  return number;
}

// ---- the index file --------------------------------------------------------

void CCache::Open() {
  hv::fs::EnsureDirectory(m_strDirectory);
  const std::string path = IndexPath();
  const std::string aside = path + ".damaged";
  m_bIndexLost = false;
  if (hv::fs::IsRegularFile(path)) {
    if (!Load(path)) {
      m_bIndexLost = true;
      const bool kept = hv::fs::RenamePath(path, aside);
      std::string text = hv::res::LoadString(kDamagedIndexText);
      if (const std::size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, kept ? aside : path);
      DisplayError(text.c_str(), nullptr);
    } else {
      hv::cache::LoadDigests(*this);
    }
  } else if (hv::fs::Exists(path) || hv::fs::Exists(aside)) {
    // Not a file we can read, or set aside by an earlier open and not
    // rebuilt since: nothing tells which stored files are pages.
    m_bIndexLost = true;
  }
  CheckPlaceholder();
}

bool CCache::Load(const std::string& path) {
  try {
    // Read from memory: the archive asks its file for the bytes left at
    // every field, which on a disk file costs two system calls each.
    std::vector<std::uint8_t> bytes;
    {
      CFile file(path, CFile::modeRead | CFile::shareDenyWrite);
      const std::uint64_t length = file.GetLength();
      if (length == 0 || length > kMaxIndexSize) return false;  // ours is never empty
      bytes.resize(static_cast<std::size_t>(length));
      bytes.resize(file.Read(bytes.data(), bytes.size()));
    }
    CMemFile memory(std::move(bytes));
    CArchive ar(&memory, CArchive::load);
    Serialize(ar);
    if (ar.BytesLeft() == 0) return true;
  } catch (...) {
  }
  // Part of a damaged index is no safer than none: a bad byte can make a
  // record name another page's file.
  std::lock_guard guard(Lock());
  m_map.RemoveAll();
  m_records.clear();
  m_nNextFileNumber = 0;
  return false;
}

bool CCache::Save() {
  if (m_bIndexLost) return true;
  if (!hv::fs::EnsureDirectory(m_strDirectory)) return false;
  const std::string path = IndexPath();
  const std::int64_t oldSize = hv::fs::RegularFileSize(path);
  try {
    std::lock_guard guard(Lock());
    hv::fs::ReplaceFile(path, [this](CFile& file) {
      CArchive ar(&file, CArchive::store);
      Serialize(ar);
      ar.Close();
      // An index the reader would refuse is not written over one it takes.
      if (file.GetLength() > kMaxIndexSize) throw CArchiveException("index larger than a reader takes");
    });
  } catch (const CFileException& e) {
    m_nSaveError = e.m_lOsError;
    return false;
  } catch (...) {
    m_nSaveError = 0;
    return false;
  }
  m_nSaveError = 0;
  CountCreatedFile(oldSize);
  if (m_pTotals) m_pTotals->AddBytes(std::max<std::int64_t>(hv::fs::FileSize(path), 0));
  // After the index: digests never describe copies an index on disk lacks.
  hv::cache::SaveDigests(*this);
  return true;
}

std::size_t CCache::RemoveFilesTheSavedIndexLacks() {
  std::lock_guard guard(Lock());
  if (m_bIndexLost) return 0;
  CCache saved(m_strDirectory);
  saved.m_bOwnsSpareFiles = false;
  const std::string path = IndexPath();
  // No index file: the agent as saved keeps no copy. One that cannot be
  // read tells nothing, and nothing goes.
  if (hv::fs::Exists(path) && !saved.Load(path)) return 0;
  return RemoveFilesNotInLocked(saved.m_map);
}

void CCache::Serialize(CArchive& ar) {
  std::lock_guard guard(Lock());
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<std::uint32_t>(m_map.GetCount()));
    m_map.ForEach([&ar](const std::string& key, CPageDescr* record) {
      ar.WriteString(key);
      ar.WriteObject(record);  // a record's second key becomes a back-reference
    });
    ar.WriteDWord(static_cast<std::uint32_t>(m_nNextFileNumber));
    return;
  }

  CPageMap map;
  std::vector<std::unique_ptr<CPageDescr>> loaded;  // each new record, owned at once
  std::int64_t nextFileNumber = -1;

  // Whatever was read, up to a failure too, becomes the cache's content.
  const auto install = [&] {
    // A key read twice leaves its first record unreachable: drop those.
    std::unordered_set<const CPageDescr*> entered;
    map.ForEach([&](const std::string&, CPageDescr* record) { entered.insert(record); });
    m_records.reserve(m_records.size() + entered.size());
    std::int64_t highest = -1;
    for (auto& record : loaded) {
      if (!entered.count(record.get())) continue;
      // A stored page is entered under its file name too; a name entered
      // for another record (or not at all) would let this one delete that
      // record's file.
      if (!record->m_strLocalFile.empty() && map.Lookup(record->m_strLocalFile) != record.get())
        record->ForgetLocalName();
      highest = std::max(highest, LocalFileNumber(record->m_strLocalFile));
      m_records.push_back(std::move(record));
    }
    // Records of an earlier content stay owned: anchors may still point at
    // them, and Contains tells them apart now.
    m_map = std::move(map);
    // A lost or damaged counter must not hand out the name of a stored file.
    std::int64_t next = nextFileNumber >= 0 ? nextFileNumber : static_cast<std::uint32_t>(m_nNextFileNumber);
    next = std::max(next, highest + 1);
    m_nNextFileNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(next));
  };

  try {
    const std::uint32_t count = ar.ReadCount(kMinAssocSize);
    if (count > kMaxLoadedKeys) throw CArchiveException("more keys than an index can hold");
    for (std::uint32_t i = 0; i < count; ++i) {
      std::string key = ar.ReadString();
      bool isNew = false;
      CObject* object = ar.ReadObject(RUNTIME_CLASS(CPageDescr), &isNew);
      if (!object) throw CArchiveException("index entry without a record");
      auto* record = static_cast<CPageDescr*>(object);
      if (isNew) loaded.push_back(std::unique_ptr<CPageDescr>(record));
      map.SetAt(key, record);
    }
    nextFileNumber = ar.ReadDWord();
  } catch (...) {
    install();
    throw;
  }
  install();
}
