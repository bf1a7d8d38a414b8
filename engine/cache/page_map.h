// The cache's string-keyed map of records: a table of 5987 buckets, as many
// as the keys of a small agent need, that grows when the keys outnumber its
// buckets. Keys compare exactly (case counts). The order of iteration is the
// order in which the index file lists the keys: bucket by bucket, the newest
// key of a bucket first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CPageDescr;

class CPageMap {
 public:
  // The buckets a map starts with.
  static constexpr std::uint32_t kBuckets = 5987;

  CPageMap();
  ~CPageMap();
  CPageMap(CPageMap&&) noexcept;
  CPageMap& operator=(CPageMap&&) noexcept;

  // The bucket of a key in the starting table (32-bit FNV-1a of its bytes,
  // modulo the table size).
  static std::uint32_t BucketOf(const std::string& key);

  CPageDescr* Lookup(const std::string& key) const;
  // Enters or replaces the key's record.
  void SetAt(const std::string& key, CPageDescr* record);
  bool RemoveKey(const std::string& key);
  void RemoveAll();
  int GetCount() const { return m_nCount; }
  std::size_t BucketCount() const { return m_buckets.size(); }
  // The most keys one bucket holds.
  std::size_t LongestChain() const;

  // Calls f(key, record) for every association in iteration order.
  template <class F>
  void ForEach(F&& f) const {
    for (const auto& head : m_buckets)
      for (const Assoc* a = head.get(); a; a = a->next.get()) f(a->key, a->value);
  }

 private:
  struct Assoc {
    std::string key;
    CPageDescr* value = nullptr;
    std::unique_ptr<Assoc> next;
  };

  // The bucket of a key in the table as it is now.
  std::size_t IndexOf(const std::string& key) const;
  // Twice the buckets, every key moved to its new one.
  void Grow();

  std::vector<std::unique_ptr<Assoc>> m_buckets;
  int m_nCount = 0;
};
