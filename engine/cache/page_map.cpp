#include "engine/cache/page_map.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace {

// The high and low halves of the 128-bit product folded together: each
// bit of either factor reaches most bits of the result.
std::uint64_t Fold(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// Keys of a grown table are placed by a hash seeded once per process: keys
// made to share one 32-bit hash (a hostile index file or site can make
// thousands) would otherwise stay in one chain however far the table grows,
// and every insertion would walk it. Eight bytes at a time: addresses are
// long, and every link looks one up. The seed is in every step's factors, so
// no key bytes can be chosen to cancel one.
std::uint64_t SeededHash(const std::string& key) {
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  constexpr std::uint64_t kOdd1 = 0xa0761d6478bd642full, kOdd2 = 0xe7037ed1a0b428dbull;
  const char* p = key.data();
  std::size_t n = key.size();
  const std::uint64_t wordKey = seed ^ kOdd1;
  std::uint64_t hash = Fold(n ^ wordKey, seed ^ kOdd2);
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    hash = Fold(word ^ wordKey, hash ^ kOdd2);
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, p, n);
  return Fold(tail ^ wordKey ^ (static_cast<std::uint64_t>(n) << 56), hash ^ kOdd1);
}

}  // namespace

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

std::size_t CPageMap::IndexOf(const std::string& key) const {
  if (m_buckets.size() == kBuckets) return BucketOf(key);
  return static_cast<std::size_t>(SeededHash(key) % m_buckets.size());
}

CPageDescr* CPageMap::Lookup(const std::string& key) const {
  if (m_buckets.empty()) return nullptr;
  for (const Assoc* a = m_buckets[IndexOf(key)].get(); a; a = a->next.get())
    if (a->key == key) return a->value;
  return nullptr;
}

void CPageMap::SetAt(const std::string& key, CPageDescr* record) {
  if (m_buckets.empty()) m_buckets.resize(kBuckets);
  std::unique_ptr<Assoc>* head = &m_buckets[IndexOf(key)];
  for (Assoc* a = head->get(); a; a = a->next.get()) {
    if (a->key == key) {
      a->value = record;
      return;
    }
  }
  if (static_cast<std::size_t>(m_nCount) >= m_buckets.size()) {
    Grow();
    head = &m_buckets[IndexOf(key)];
  }
  auto assoc = std::make_unique<Assoc>();
  assoc->key = key;
  assoc->value = record;
  assoc->next = std::move(*head);
  *head = std::move(assoc);
  ++m_nCount;
}

void CPageMap::Grow() {
  // The larger table first: when it cannot be had, the map stays as it was.
  std::vector<std::unique_ptr<Assoc>> old(m_buckets.size() * 2);
  old.swap(m_buckets);
  for (auto& chain : old) {
    while (chain) {
      std::unique_ptr<Assoc> assoc = std::move(chain);
      chain = std::move(assoc->next);
      std::unique_ptr<Assoc>& head = m_buckets[IndexOf(assoc->key)];
      assoc->next = std::move(head);
      head = std::move(assoc);
    }
  }
}

std::size_t CPageMap::LongestChain() const {
  std::size_t longest = 0;
  for (const auto& head : m_buckets) {
    std::size_t length = 0;
    for (const Assoc* a = head.get(); a; a = a->next.get()) ++length;
    longest = std::max(longest, length);
  }
  return longest;
}

bool CPageMap::RemoveKey(const std::string& key) {
  if (m_buckets.empty()) return false;
  for (std::unique_ptr<Assoc>* link = &m_buckets[IndexOf(key)]; *link; link = &(*link)->next) {
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
