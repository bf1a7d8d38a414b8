#include "engine/cache/page_map.h"

CPageMap::CPageMap() : m_buckets(kBuckets) {}

CPageMap::~CPageMap() { RemoveAll(); }

CPageMap::CPageMap(CPageMap&& other) noexcept
    : m_buckets(std::move(other.m_buckets)), m_nCount(other.m_nCount) {
  other.m_buckets.clear();  // a moved-from map is empty (and allocates again on SetAt)
  other.m_nCount = 0;
}

CPageMap& CPageMap::operator=(CPageMap&& other) noexcept {
  if (this != &other) {
    RemoveAll();
    m_buckets = std::move(other.m_buckets);
    m_nCount = other.m_nCount;
    other.m_buckets.clear();
    other.m_nCount = 0;
  }
  return *this;
}

std::uint32_t CPageMap::BucketOf(const std::string& key) {
  std::uint32_t hash = 2166136261u;
  for (const char c : key) {
    hash ^= static_cast<std::uint8_t>(c);
    hash *= 16777619u;
  }
  return hash % kBuckets;
}

CPageDescr* CPageMap::Lookup(const std::string& key) const {
  if (m_buckets.empty()) return nullptr;
  for (const Assoc* a = m_buckets[BucketOf(key)].get(); a; a = a->next.get())
    if (a->key == key) return a->value;
  return nullptr;
}

void CPageMap::SetAt(const std::string& key, CPageDescr* record) {
  if (m_buckets.empty()) m_buckets.resize(kBuckets);
  std::unique_ptr<Assoc>& head = m_buckets[BucketOf(key)];
  for (Assoc* a = head.get(); a; a = a->next.get()) {
    if (a->key == key) {
      a->value = record;
      return;
    }
  }
  auto assoc = std::make_unique<Assoc>();
  assoc->key = key;
  assoc->value = record;
  assoc->next = std::move(head);
  head = std::move(assoc);
  ++m_nCount;
}

bool CPageMap::RemoveKey(const std::string& key) {
  if (m_buckets.empty()) return false;
  for (std::unique_ptr<Assoc>* link = &m_buckets[BucketOf(key)]; *link; link = &(*link)->next) {
    if ((*link)->key == key) {
      std::unique_ptr<Assoc> gone = std::move(*link);
      *link = std::move(gone->next);
      --m_nCount;
      return true;
    }
  }
  return false;
}

void CPageMap::RemoveAll() {
  // Unlinks one association at a time: letting a head's destructor free its
  // chain would recurse once per key, and a hostile index file can put every
  // key into one bucket.
  for (auto& head : m_buckets) {
    std::unique_ptr<Assoc> chain = std::move(head);
    while (chain) chain = std::move(chain->next);
  }
  m_nCount = 0;
}
