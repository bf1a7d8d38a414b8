// The cache index of the open agent: one record per web address, entered
// under its address (and, for a stored page, under its local file name too),
// saved as "Harvion Cache.hvc" in the agent's folder beside the stored files.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/cache/cache_totals.h"
#include "engine/cache/page_descr.h"
#include "engine/cache/page_map.h"
#include "engine/cache/previous_copies.h"

class CCache : public CObject {
  DECLARE_SERIAL(CCache)
 public:
  // No record is created while the map holds more keys than this: a stored
  // page takes two (its address and its file name), so about half a million
  // stored pages.
  static constexpr int kKeyLimit = 1000000;
  // The largest index file read or written. An index of the key limit's
  // worth of pages, each with a dozen links, comes to about 500 MB.
  static constexpr std::uint64_t kMaxIndexSize = 1024u << 20;
  // The longest address a record may have; a longer one is refused when it
  // arrives. (Addresses that long on many pages make an index larger than
  // the reader takes before the key limit is reached: Save then refuses and
  // the index on disk stays as it was.)
  static constexpr std::size_t kMaxAddress = 4096;

  // The one process-wide lock over the map, the file counter and the records
  // handed out by the locked lookups.
  static std::recursive_mutex& Lock();

  CCache();  // for creation by class name; no folder
  explicit CCache(std::string directory);
  ~CCache() override;

  // Makes the folder, loads the index file from it and makes sure the
  // placeholder image is there. An index that cannot be read whole is
  // renamed to "<index>.damaged" (replacing an older one), reported once,
  // and the cache starts empty with its index lost (below).
  void Open();
  // Writes the index file through a temporary file and a rename, then counts
  // the index like any stored file. False when it could not be written (the
  // old file then stays), also when it would be larger than the reader
  // takes. While the index is lost nothing is written, successfully.
  bool Save();
  // The map, then the next file number.
  void Serialize(CArchive& ar) override;

  const std::string& Directory() const { return m_strDirectory; }
  // The agent's folder was renamed.
  void SetDirectory(std::string directory) { m_strDirectory = std::move(directory); }
  // The path of a file in the cache folder; empty for anything but a plain
  // file name (hv::cache::IsLocalName), so no file elsewhere is reached.
  std::string PathOf(const std::string& localFile) const;

  // When the index file was last written (seconds since 1970), 0 when it
  // is not there.
  std::uint32_t IndexWrittenAt() const;
  // The index on disk was damaged, or set aside earlier and not written
  // since: the stored files may be the lost index's pages. Until a run has
  // stored the agent's pages again, garbage collection deletes no file no
  // key names, and Save writes no index that would disown them.
  bool IndexLost() const { return m_bIndexLost; }
  // A retrieval run finished: the index knows again what the agent keeps.
  void IndexRebuilt() { m_bIndexLost = false; }

  // Looks a key up; null when absent. Takes no lock.
  CPageDescr* Find(const std::string& key) const;
  // Take the lock, look up (or create); when the answer is null the lock is
  // released at once, otherwise the caller holds it and must release it
  // (Lock().unlock()) when done with the record.
  CPageDescr* FindLocked(const std::string& key);
  CPageDescr* FindOrCreateLocked(const std::string& address);
  // The record of the address, creating it when the address may have one: a
  // bare name (no ':', '/' or '\') or an address beginning with "http:" or
  // "https:" in any case, of at most kMaxAddress bytes. Null for an empty or
  // refused address, or when the map holds more keys than the key limit.
  CPageDescr* FindOrCreate(const std::string& address);
  // True when FindOrCreate refuses the address only because the map holds
  // as many keys as it takes.
  bool RefusedAtKeyLimit(const std::string& address) const;
  // Enters another key for a record.
  void AddKey(const std::string& key, CPageDescr* record);
  void RemoveKey(const std::string& key);
  // True when the record is entered under some key of the map.
  bool Contains(const CPageDescr* record) const;
  int KeyCount() const { return m_map.GetCount(); }
  // kKeyLimit unless set otherwise (tests set small ones).
  int KeyLimit() const { return m_nKeyLimit; }
  void SetKeyLimit(int limit) { m_nKeyLimit = limit; }
  const CPageMap& Map() const { return m_map; }
  // Every record once, in map order.
  std::vector<CPageDescr*> Records() const;

  // Under the lock: the counter, then one more.
  std::int32_t NextFileNumber();

  // Gives the record its local file name ("3S%06x" + extension) and enters
  // the name as a key. A name another record has, or whose file is there
  // (a page a lost index knew), is passed over; the name stays empty when
  // none is free.
  void AssignFileName(const std::string& address, CPageDescr* record);
  // The lower-case extensions a stored file may keep, concatenated.
  const std::string& KnownExtensions() const { return m_strKnownExtensions; }
  // Another table than the system's (hv::cache::KnownExtensionsFrom).
  void SetKnownExtensions(std::string known) { m_strKnownExtensions = std::move(known); }
  // Enters the placeholder's record and writes its file when missing.
  void CheckPlaceholder();

  // The errno of the last Save that failed (0 when it had none).
  int SaveError() const { return m_nSaveError; }
  // After a failed save: deletes the stored files the index file on disk
  // does not name (what a run stored since it was written), so no file is
  // left that no index knows. Nothing goes while the index is lost or its
  // file cannot be read. Returns how many files went.
  std::size_t RemoveFilesTheSavedIndexLacks();

  // Garbage collection: clear the marks, let the anchors mark what they use
  // (CPageDescr::MarkUsed), then Collect drops everything unmarked with its
  // file, stray stored files included (unless the index is lost). The
  // placeholder's record is the cache's own and always stays.
  void BeginCollection();
  void Collect();

  // Files and bytes are counted on the open agent; without totals nothing
  // is counted.
  void SetTotals(CCacheTotals* totals) { m_pTotals = totals; }
  CCacheTotals* Totals() const { return m_pTotals; }
  // Counts a file just created empty where one of oldSize bytes was (-1 for
  // none): a new file is one more, a replaced one loses its old bytes.
  void CountCreatedFile(std::int64_t oldSize);
  // Counts a removed file of that size (neither total goes below 0).
  void CountRemovedFile(std::int64_t size);

  // The copies modified pages had before their last change.
  hv::cache::CPreviousCopies& Previous() { return m_previous; }

  std::int32_t m_nNextFileNumber = 0;

 private:
  hv::cache::CPreviousCopies m_previous;
  std::string m_strDirectory;
  CPageMap m_map;
  std::vector<std::unique_ptr<CPageDescr>> m_records;  // owns every record of the map
  std::string m_strKnownExtensions;
  CCacheTotals* m_pTotals = nullptr;
  bool m_bIndexLost = false;
  int m_nKeyLimit = kKeyLimit;
  int m_nSaveError = 0;
  bool m_bOwnsSpareFiles = true;  // false for a copy read only to look at the index on disk

  std::string IndexPath() const;
  // Reads the whole index file into the cache; false, leaving the cache
  // empty, when it is not an index of ours from its first byte to its last.
  bool Load(const std::string& path);
  // Deletes the stored files no key names (called with the lock held).
  void RemoveStraysLocked() { RemoveFilesNotInLocked(m_map); }
  // Deletes the stored files no key of the map names; returns how many.
  std::size_t RemoveFilesNotInLocked(const CPageMap& known);
};
