// The cache index: the map's order, the key rules, the file's bytes, damaged
// files, the totals a save reports and the links a record keeps.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <future>
#include <random>
#include <unordered_map>

#include "cache/recording_totals.h"
#include "engine/agent/anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "platform/files/file.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "platform/temp_folder.h"
#include "support/golden_bytes.h"

namespace {

// Keys of one FNV-1a hash, whatever the table size: each stage finds two
// eight-letter blocks taking the hash from one state to the same next state
// (four-letter blocks met none), and each choice of blocks gives a key.
std::vector<std::string> CollidingKeys(int stages) {
  std::mt19937 random(1);
  std::uint32_t state = 2166136261u;
  std::vector<std::pair<std::string, std::string>> pairs;
  while (static_cast<int>(pairs.size()) < stages) {
    std::unordered_map<std::uint32_t, std::string> seen;
    for (bool found = false; !found;) {
      std::string block(8, 'a');
      for (char& c : block) c = static_cast<char>('a' + random() % 26);
      std::uint32_t h = state;
      for (const char c : block) h = (h ^ static_cast<std::uint8_t>(c)) * 16777619u;
      auto [it, fresh] = seen.emplace(h, block);
      if (!fresh && it->second != block) {
        pairs.emplace_back(it->second, block);
        state = h;
        found = true;
      }
    }
  }
  std::vector<std::string> keys;
  for (std::uint32_t mask = 0; mask < (1u << stages); ++mask) {
    std::string key;
    for (int i = 0; i < stages; ++i) key += (mask >> i) & 1 ? pairs[i].second : pairs[i].first;
    keys.push_back(key);
  }
  return keys;
}

// Runs f on a 128 KiB stack: recursing once per key of a long chain overflows it.
void RunOnSmallStack(std::function<void()> f) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  const auto run = [](void* arg) -> void* {
    (*static_cast<std::function<void()>*>(arg))();
    return nullptr;
  };
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, run, &f), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

bool LockHeldElsewhere() {
  return std::async(std::launch::async, [] {
           const bool free = CCache::Lock().try_lock();
           if (free) CCache::Lock().unlock();
           return !free;
         }).get();
}

// A record's fields after its links, empty but for the address and state.
void PlainFields(GoldenBytes& g, const std::string& address, std::uint8_t state) {
  g.str(address).str("").u8(state).u32(0).u32(0).u8(0).u32(0).u32(0).u8(0);
  g.str("").u32(0).str("").str("").str("").str("").u32(0).str("").u32(0).str("");
}

struct GoldenIndex {
  std::vector<std::uint8_t> bytes;
  std::size_t firstEnd = 0;  // where the first association ends
  std::size_t mapEnd = 0;    // where the next file number starts
};

// A stored page (two keys, two links), a page not stored and the
// placeholder, in bucket order: b (1484), a (1804), the placeholder (2012),
// a's file name (2321).
GoldenIndex GoldenCacheIndex() {
  GoldenIndex golden;
  GoldenBytes g;
  g.u16(4).str("http://h/b.html").newClass("CPageDescr").u16(0);  // class 1, object 2
  PlainFields(g, "http://h/b.html", 0);
  golden.firstEnd = g.bytes().size();
  g.str("http://h/a.html").classRef(1).u16(2);                      // object 3
  g.newClass("CPageChild").u8(0).str("http://h/b.html").str("B");  // class 4, object 5
  g.classRef(4).u8(1).str("http://h/i.gif").str("");                 // object 6
  g.str("http://h/a.html").str("3S000000.html").u8(3).u32(0x11223344).u32(0x11223300).u8(2);
  g.u32(0x11223345).u32(0x11220000).u8(1).str("HTTP/1.0 200 OK").u32(1234).str("text/html");
  g.str("Mon, 02 Mar 1998 10:20:30 GMT").str("").str("A page").u32(0x34FA8A1E).str("").u32(200).str("OK");
  g.str("hvempty.gif").classRef(1).u16(0);  // object 7
  PlainFields(g, "hvempty.gif", 3);
  g.str("3S000000.html").objectRef(3);
  golden.mapEnd = g.bytes().size();
  golden.bytes = g.u32(1).bytes();
  return golden;
}

CPageChild* AddChild(CPageDescr* page, const std::string& address, int type = 0, const std::string& title = "") {
  page->m_links.push_back(std::make_unique<CPageChild>());
  page->m_links.back()->m_strAddress = address;
  page->m_links.back()->m_nLinkType = type;
  page->m_links.back()->m_strTitle = title;
  return page->m_links.back().get();
}

void BuildGoldenCache(CCache& cache) {
  CPageDescr* a = cache.FindOrCreate("http://h/a.html");
  cache.FindOrCreate("http://h/b.html");
  cache.AssignFileName(a->m_strAddress, a);
  a->m_nState = CPageDescr::kStored;
  a->m_tLastRetrievalEnd = 0x11223344;
  a->m_tStoredAt = 0x11223300;
  a->m_nCopyKept = 2;
  a->m_tLinksUpdated = 0x11223345;
  a->m_tStateChanged = 0x11220000;
  a->m_bFlag = 1;
  a->m_strStatusLine = "HTTP/1.0 200 OK";
  a->m_nContentLength = 1234;
  a->m_strContentType = "text/html";
  a->m_strLastModifiedText = "Mon, 02 Mar 1998 10:20:30 GMT";
  a->m_strTitle = "A page";
  a->m_tLastModified = 0x34FA8A1E;
  a->m_nStatusCode = 200;
  a->m_strStatusText = "OK";
  AddChild(a, "http://h/b.html", CPageChild::kPage, "B");
  AddChild(a, "http://h/i.gif", CPageChild::kEmbedded);
  cache.CheckPlaceholder();
}

std::vector<std::uint8_t> SerializeToMemory(CObject& object) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  object.Serialize(ar);
  ar.Close();
  return file.Detach();
}

class CacheIndex : public ::testing::Test {
 protected:
  std::string IndexPath() const { return m_dir + "/Harvion Cache.hvc"; }
  std::vector<std::uint8_t> IndexBytes() const {
    const std::string text = hv::test::ReadText(IndexPath());
    return {text.begin(), text.end()};
  }

  std::unique_ptr<CCache> OpenWith(const std::vector<std::uint8_t>& bytes) {
    hv::fs::EnsureDirectory(m_dir);
    hv::fs::WriteWholeFile(IndexPath(), bytes.data(), bytes.size());
    auto cache = std::make_unique<CCache>(m_dir);
    cache->Open();
    return cache;
  }

  // Open's load from memory: a thousand files are slow on some disks.
  std::unique_ptr<CCache> LoadLikeOpen(std::vector<std::uint8_t> bytes) {
    auto cache = std::make_unique<CCache>(m_dir);
    CMemFile file(std::move(bytes));
    CArchive ar(&file, CArchive::load);
    try {
      cache->Serialize(ar);
    } catch (const CException&) {
    }
    cache->CheckPlaceholder();
    return cache;
  }

  // However damaged its file, what a cache loaded (every record behind
  // every key) saves and loads again whole.
  void ExpectConsistent(CCache& cache) {
    ASSERT_NE(cache.Find("hvempty.gif"), nullptr);
    CMemFile saved(SerializeToMemory(cache));
    CCache again;
    CArchive ar(&saved, CArchive::load);
    again.Serialize(ar);
    EXPECT_EQ(again.KeyCount(), cache.KeyCount());
    EXPECT_EQ(again.Records().size(), cache.Records().size());
  }

  hv::test::TempFolder m_temp;
  std::string m_dir = m_temp / "Agent";
};

// ---- the map and its keys ----------------------------------------------------

TEST(CacheMap, BucketsAreFnv1aModuloTableSize) {
  // Worked out apart from the engine (python3: h = 2166136261; for each byte
  // h = ((h ^ byte) * 16777619) % 2**32; then h % 5987).
  EXPECT_EQ(CPageMap::BucketOf(""), 3739u);
  EXPECT_EQ(CPageMap::BucketOf("http://h/b.html"), 1484u);
  EXPECT_EQ(CPageMap::BucketOf("http://h/a.html"), 1804u);
  EXPECT_EQ(CPageMap::BucketOf("hvempty.gif"), 2012u);
  EXPECT_EQ(CPageMap::BucketOf("3S000000.html"), 2321u);
}

TEST(CacheMap, ChainsListNewestFirstAndKeysCompareExactly) {
  const std::vector<std::string> same = CollidingKeys(2);
  ASSERT_EQ(CPageMap::BucketOf(same[0]), CPageMap::BucketOf(same[3]));
  CPageDescr r0, r1, r2;
  CPageMap map;
  map.SetAt("http://h/a.html", &r0);
  for (const auto& key : same) map.SetAt(key, &r1);
  map.SetAt(same[1], &r2);  // replaced in place
  EXPECT_EQ(map.GetCount(), 5);
  EXPECT_EQ(map.Lookup(same[1]), &r2);
  EXPECT_EQ(map.Lookup("HTTP://h/a.html"), nullptr);

  std::vector<std::string> order;
  map.ForEach([&](const std::string& key, CPageDescr*) { order.push_back(key); });
  std::vector<std::string> expected = {same[3], same[2], same[1], same[0]};
  const bool chainFirst = CPageMap::BucketOf(same[0]) < 1804;
  expected.insert(chainFirst ? expected.end() : expected.begin(), "http://h/a.html");
  EXPECT_EQ(order, expected);

  EXPECT_TRUE(map.RemoveKey(same[2]));  // from the middle of the chain
  EXPECT_FALSE(map.RemoveKey(same[2]));
  EXPECT_EQ(map.Lookup(same[1]), &r2);
  EXPECT_EQ(map.Lookup(same[3]), &r1);
  CPageMap moved = std::move(map);
  EXPECT_EQ(moved.GetCount(), 4);
  map.SetAt("k", &r0);  // a moved-from map is empty and usable
  EXPECT_EQ(map.GetCount(), 1);
}

TEST(CacheKeys, WhichAddressesGetARecord) {
  CCache cache;
  for (const char* refused : {"", "ftp://h/x", "c:\\x.html", "htt:x", "mailto:a@b", "httpsx://h/", "shttp://h/"})
    EXPECT_EQ(cache.FindOrCreate(refused), nullptr) << refused;
  CPageDescr* upper = cache.FindOrCreate("HTTP://h/");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(cache.FindOrCreate("HTTP://h/"), upper);
  EXPECT_NE(cache.FindOrCreate("http://h/"), upper);  // keys are exact
  CPageDescr* secure = cache.FindOrCreate("HTTPS://h/");
  ASSERT_NE(secure, nullptr);
  EXPECT_NE(secure, upper);
  CPageDescr* bare = cache.FindOrCreate("readme.txt");
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->m_strAddress, "readme.txt");
  EXPECT_EQ(cache.KeyCount(), 4);
}

TEST(CacheMap, GrowsPastItsFirstTableAndSpreadsKeysOfOneHash) {
  // Keys sharing their whole 32-bit hash, as a hostile site or index file
  // can make them: in a table that only grew they would stay in one chain.
  const std::vector<std::string> same = CollidingKeys(14);
  CPageDescr record, other;
  CPageMap map;
  for (const auto& key : same) map.SetAt(key, &record);
  for (int i = 0; i < 20000; ++i) map.SetAt("http://h/" + std::to_string(i), &other);
  EXPECT_EQ(map.GetCount(), static_cast<int>(same.size()) + 20000);
  EXPECT_GT(map.BucketCount(), CPageMap::kBuckets);
  EXPECT_LT(map.LongestChain(), 40u);
  for (const auto& key : same) ASSERT_EQ(map.Lookup(key), &record);
  EXPECT_EQ(map.Lookup("http://h/19999"), &other);
  EXPECT_TRUE(map.RemoveKey("http://h/0"));
  EXPECT_EQ(map.Lookup("http://h/0"), nullptr);
}

TEST(CacheKeys, ACacheTakesTensOfThousandsOfPages) {
  CCache cache;
  for (int i = 0; i < 30000; ++i) {
    CPageDescr* record = cache.FindOrCreate("http://h/" + std::to_string(i));
    ASSERT_NE(record, nullptr) << i;
    cache.AddKey("3S" + std::to_string(i) + ".html", record);
  }
  EXPECT_EQ(cache.KeyCount(), 60000);
  EXPECT_EQ(cache.Find("http://h/29999"), cache.Find("3S29999.html"));
}

TEST(CacheKeys, NewAddressesStopAboveTheKeyLimit) {
  CCache cache;
  cache.SetKeyLimit(4989);
  for (int i = 0; cache.KeyCount() < 4989; ++i) ASSERT_NE(cache.FindOrCreate("k" + std::to_string(i)), nullptr);
  CPageDescr* last = cache.FindOrCreate("http://h/last");
  ASSERT_NE(last, nullptr);
  ASSERT_EQ(cache.KeyCount(), 4990);
  EXPECT_EQ(cache.FindOrCreate("http://h/one-more"), nullptr);
  EXPECT_EQ(cache.FindOrCreate("http://h/last"), last);
  EXPECT_NE(cache.FindOrCreate("k17"), nullptr);
  EXPECT_EQ(cache.KeyCount(), 4990);
}

TEST(CacheKeys, LockedLookupsHoldTheLockOnlyWithARecord) {
  CCache cache;
  EXPECT_EQ(cache.FindLocked("http://h/"), nullptr);
  EXPECT_EQ(cache.FindOrCreateLocked("ftp://h/"), nullptr);
  EXPECT_FALSE(LockHeldElsewhere());
  CPageDescr* created = cache.FindOrCreateLocked("http://h/");
  ASSERT_NE(created, nullptr);
  EXPECT_TRUE(LockHeldElsewhere());
  CCache::Lock().unlock();
  EXPECT_EQ(cache.FindLocked("http://h/"), created);
  EXPECT_TRUE(LockHeldElsewhere());
  CCache::Lock().unlock();
  EXPECT_FALSE(LockHeldElsewhere());
}

// ---- the file ------------------------------------------------------------------

TEST_F(CacheIndex, SavesTheGoldenBytesAndLoadsThemBack) {
  const GoldenIndex golden = GoldenCacheIndex();
  {
    CCache cache(m_dir);
    BuildGoldenCache(cache);
    ASSERT_TRUE(cache.Save());
    EXPECT_EQ(IndexBytes(), golden.bytes);
  }
  auto loaded = OpenWith(golden.bytes);
  CPageDescr* a = loaded->Find("http://h/a.html");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(loaded->Find("3S000000.html"), a);  // the back-reference is the same record
  ASSERT_EQ(a->m_links.size(), 2u);
  EXPECT_EQ(a->m_links[0]->m_strTitle, "B");
  const std::vector<CPageDescr*> records = loaded->Records();  // each once, in map order
  EXPECT_EQ(records, (std::vector<CPageDescr*>{loaded->Find("http://h/b.html"), a, loaded->Find("hvempty.gif")}));
  ASSERT_TRUE(loaded->Save());
  EXPECT_EQ(IndexBytes(), golden.bytes);
}

TEST_F(CacheIndex, ManyRecordsSurviveARoundTrip) {
  std::mt19937 random(7);
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> expected;
  {
    CCache cache(m_dir);
    for (int i = 0; i < 600; ++i) {
      const std::string address = "http://h" + std::to_string(i % 13) + "/p" + std::to_string(i) + ".htm";
      CPageDescr* r = cache.FindOrCreate(address);
      r->m_tStoredAt = random();
      r->m_strTitle = std::string(random() % 300, 't');  // past the one-byte length too
      if (i % 3 != 2) cache.AssignFileName(address, r);
      for (unsigned l = random() % 5; l > 0; --l) AddChild(r, "http://h/" + std::to_string(random()), l % 3, "t");
    }
    ASSERT_TRUE(cache.Save());
    for (CPageDescr* r : cache.Records()) expected.emplace_back(r->m_strAddress, SerializeToMemory(*r));
  }
  CCache loaded(m_dir);
  loaded.Open();
  EXPECT_EQ(loaded.KeyCount(), 600 + 400 + 1);
  EXPECT_EQ(loaded.m_nNextFileNumber, 400);
  EXPECT_EQ(loaded.Records().size(), 601u);
  for (const auto& [address, bytes] : expected) {
    CPageDescr* r = loaded.Find(address);
    ASSERT_NE(r, nullptr) << address;
    EXPECT_EQ(SerializeToMemory(*r), bytes) << address;
    EXPECT_EQ(r->m_strLocalFile.empty() || loaded.Find(r->m_strLocalFile) == r, true) << address;
  }
}

TEST_F(CacheIndex, ATruncatedFileKeepsWhatWasRead) {
  auto empty = OpenWith({});
  EXPECT_EQ(empty->KeyCount(), 1);  // the placeholder
  EXPECT_EQ(empty->m_nNextFileNumber, 0);

  const GoldenIndex golden = GoldenCacheIndex();
  for (std::size_t size = 1; size < golden.bytes.size(); ++size) {
    SCOPED_TRACE(size);
    auto cache = LoadLikeOpen({golden.bytes.begin(), golden.bytes.begin() + static_cast<std::ptrdiff_t>(size)});
    ExpectConsistent(*cache);
    CPageDescr* b = cache->Find("http://h/b.html");
    EXPECT_EQ(b != nullptr, size >= golden.firstEnd);
    EXPECT_EQ(b ? b->m_strAddress.str() : "http://h/b.html", "http://h/b.html");
    if (size >= golden.mapEnd) {
      EXPECT_EQ(cache->KeyCount(), 4);
      EXPECT_EQ(cache->m_nNextFileNumber, 1);  // lost, and restarted past the names in use
    }
  }
}

TEST_F(CacheIndex, MutatedBytesNeverBreakTheCache) {
  const GoldenIndex golden = GoldenCacheIndex();
  for (std::size_t at = 0; at < golden.bytes.size(); ++at) {
    const std::uint8_t was = golden.bytes[at];
    for (const int value : {was ^ 0xFF, (was + 1) & 0xFF, 0}) {
      std::vector<std::uint8_t> bytes = golden.bytes;
      bytes[at] = static_cast<std::uint8_t>(value);
      SCOPED_TRACE(testing::Message() << "byte " << at << " = " << value);
      ExpectConsistent(*LoadLikeOpen(std::move(bytes)));
    }
  }
}

TEST_F(CacheIndex, ForeignObjectsAndBadReferencesEndTheLoad) {
  // The second key's record: a link, a link read inside the first record,
  // null, and an object never read.
  const std::vector<std::function<void(GoldenBytes&)>> seconds = {
      [](GoldenBytes& g) { g.newClass("CPageChild").u8(0).str("").str(""); },
      [](GoldenBytes& g) { g.objectRef(4); },
      [](GoldenBytes& g) { g.null(); },
      [](GoldenBytes& g) { g.objectRef(9); }};
  for (const auto& second : seconds) {
    GoldenBytes g;
    g.u16(2).str("a").newClass("CPageDescr").u16(1);                 // class 1, object 2
    g.newClass("CPageChild").u8(0).str("http://h/").str("");       // class 3, object 4
    PlainFields(g, "a", 0);
    g.str("b");
    second(g);
    auto cache = LoadLikeOpen(g.u32(5).bytes());
    ExpectConsistent(*cache);
    ASSERT_NE(cache->Find("a"), nullptr);
    EXPECT_EQ(cache->Find("a")->m_links.size(), 1u);
    EXPECT_EQ(cache->Find("b"), nullptr);
    EXPECT_EQ(cache->m_nNextFileNumber, 0);
  }
}

TEST_F(CacheIndex, AKeyReadTwiceKeepsItsLastRecordOnly) {
  GoldenBytes g;
  g.u16(2).str("k").newClass("CPageDescr").u16(0);
  PlainFields(g, "first", 0);
  g.str("k").classRef(1).u16(0);
  PlainFields(g, "second", 0);
  auto cache = OpenWith(g.u32(3).bytes());
  ASSERT_NE(cache->Find("k"), nullptr);
  EXPECT_EQ(cache->Find("k")->m_strAddress, "second");
  EXPECT_EQ(cache->Records().size(), 2u);  // with the placeholder; the first is freed
}

TEST_F(CacheIndex, HugeCountsAreRefused) {
  EXPECT_EQ(OpenWith(GoldenBytes().u16(0xFFFF).u32(0xFFFFFFFF).str("a").bytes())->KeyCount(), 1);
  GoldenBytes links;
  links.u16(1).str("a").newClass("CPageDescr").u16(0xFFFF).u32(0x10000000);
  EXPECT_EQ(OpenWith(links.bytes())->KeyCount(), 1);
  // More keys than an index of ours can hold, though the bytes are there.
  const std::uint32_t count = 4 * (CCache::kKeyLimit + 1) + 1;
  GoldenBytes many;
  many.u16(0xFFFF).u32(count).str("a").newClass("CPageDescr").u16(0);
  PlainFields(many, "a", 0);
  for (std::uint32_t i = 1; i < count; ++i) many.str("").objectRef(2);
  EXPECT_EQ(OpenWith(many.u32(0).bytes())->Find("a"), nullptr);
}

TEST_F(CacheIndex, KeysOfOneBucketLoadAndGoWithoutDeepRecursion) {
  const std::vector<std::string> keys = CollidingKeys(13);
  GoldenBytes g;
  g.u16(static_cast<std::uint16_t>(keys.size())).str(keys[0]).newClass("CPageDescr").u16(0);
  PlainFields(g, keys[0], 0);
  for (std::size_t i = 1; i < keys.size(); ++i) g.str(keys[i]).objectRef(2);
  hv::fs::EnsureDirectory(m_dir);
  const std::vector<std::uint8_t> index = g.u32(0).bytes();
  hv::fs::WriteWholeFile(IndexPath(), index.data(), index.size());
  int loadedKeys = 0;
  std::size_t records = 0;
  RunOnSmallStack([&] {
    CCache cache(m_dir);
    cache.Open();
    loadedKeys = cache.KeyCount();
    records = cache.Records().size();
  });
  EXPECT_EQ(loadedKeys, 8193);
  EXPECT_EQ(records, 2u);
}

// ---- saving ------------------------------------------------------------------

TEST_F(CacheIndex, SavingCountsTheIndexLikeAStoredFile) {
  RecordingTotals totals;
  CCache cache(m_dir);
  cache.SetTotals(&totals);
  cache.FindOrCreate("http://h/");
  ASSERT_TRUE(cache.Save());
  EXPECT_EQ(totals.files, 1);
  const std::int64_t first = hv::fs::FileSize(IndexPath());
  EXPECT_EQ(totals.bytes, first);
  for (int i = 0; i < 50; ++i) cache.FindOrCreate("http://h/" + std::to_string(i));
  ASSERT_TRUE(cache.Save());
  EXPECT_EQ(totals.files, 1);
  EXPECT_GT(hv::fs::FileSize(IndexPath()), first);
  EXPECT_EQ(totals.bytes, hv::fs::FileSize(IndexPath()));
}

TEST_F(CacheIndex, AFailedSaveChangesNothing) {
  RecordingTotals totals;
  CCache cache(m_dir);
  cache.SetTotals(&totals);
  ASSERT_TRUE(hv::fs::EnsureDirectory(m_dir));
  ASSERT_TRUE(hv::fs::EnsureDirectory(IndexPath()));  // the index's name taken by a folder
  EXPECT_FALSE(cache.Save());
  CCache orphan(m_temp / "missing/Agent");  // no parent: no folder
  orphan.SetTotals(&totals);
  EXPECT_FALSE(orphan.Save());
  EXPECT_EQ(totals.files + totals.bytes, 0);

  if (::geteuid() == 0) return;  // root writes into a read-only folder anyway
  ASSERT_TRUE(hv::fs::RemoveTree(IndexPath()));
  ASSERT_TRUE(cache.Save());
  const std::vector<std::uint8_t> before = IndexBytes();
  const std::int64_t bytes = totals.bytes;
  cache.FindOrCreate("http://h/more");
  ASSERT_EQ(::chmod(m_dir.c_str(), 0555), 0);
  EXPECT_FALSE(cache.Save());
  ::chmod(m_dir.c_str(), 0755);
  EXPECT_EQ(IndexBytes(), before);
  EXPECT_EQ(totals.bytes, bytes);
  EXPECT_EQ(totals.files, 1);
}

// ---- links -------------------------------------------------------------------

TEST(CacheLinks, AddLinkHandsBackTheTargetWithOneMoreLockLevel) {
  CCache cache;
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");
  CPageChild* made = nullptr;
  {
    std::lock_guard held(CCache::Lock());  // as the parsers hold it
    CPageDescr* target = page->AddLink(cache, "http://h/q.gif", CPageChild::kEmbedded, nullptr, &made);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target, cache.Find("http://h/q.gif"));
    ASSERT_EQ(page->m_links.size(), 1u);
    EXPECT_EQ(made, page->m_links[0].get());
    EXPECT_EQ(made->m_nLinkType, CPageChild::kEmbedded);
    EXPECT_EQ(made->m_strAddress, "http://h/q.gif");
    CCache::Lock().unlock();

    CPageChild* untouched = nullptr;
    EXPECT_EQ(page->AddLink(cache, "http://h/q.gif", CPageChild::kPage, made, &untouched), target);
    EXPECT_EQ(untouched, nullptr);  // an existing link is not added again
    EXPECT_EQ(page->m_links.size(), 1u);
    // Refused: the page itself, an address without a record.
    EXPECT_EQ(page->AddLink(cache, "http://h/p.html", CPageChild::kPage, nullptr, nullptr), nullptr);
    EXPECT_EQ(page->AddLink(cache, "ftp://h/f", CPageChild::kPage, nullptr, nullptr), nullptr);
  }
  EXPECT_TRUE(LockHeldElsewhere());  // the level of the second success
  CCache::Lock().unlock();
  EXPECT_FALSE(LockHeldElsewhere());
  EXPECT_EQ(page->m_links.size(), 1u);
}

TEST(CacheLinks, MarkUsedKeepsTargetsAndDropsLinksToNothing) {
  RecordingTotals totals;
  CCache cache;
  cache.SetTotals(&totals);
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");
  CPageDescr* kept = cache.FindOrCreate("http://h/kept.html");
  for (const char* address : {"http://h/gone1", "http://h/kept.html", "http://h/gone2"}) AddChild(page, address);
  page->MarkUsed(cache, true);
  EXPECT_EQ(page->m_bInUse + page->m_bKeepCopy, 2);
  ASSERT_EQ(page->m_links.size(), 1u);
  EXPECT_EQ(page->m_links[0]->m_strAddress, "http://h/kept.html");
  EXPECT_EQ(kept->m_bInUse, 1);
  EXPECT_EQ(kept->m_bKeepCopy, 0);  // a link keeps its target, not its copy
  EXPECT_EQ(totals.changes, 1);
  page->MarkUsed(cache, false);
  EXPECT_EQ(page->m_bKeepCopy, 1);  // marks only add
  EXPECT_EQ(totals.changes, 1);     // nothing removed, nothing to save
}

// Gives every link a child but those with "refused" in their address.
class FakeLocation : public CLinkOwner {
 public:
  CPageDescr* OwnerPage() override { return nullptr; }
  void CompleteLink(CAnchor*) override {}
  void ReleaseLink(CAnchor*) override {}
  void SetTitle(const std::string&) override {}
  CAnchor* AddLink(const std::string& address, int linkType, bool collectText, CPageChild* link, CPageChild**,
                   CPageDescr** target) override {
    if (target) *target = nullptr;
    calls.push_back(address + " " + std::to_string(linkType) + (collectText ? " text" : ""));
    links.push_back(link);
    if (address.find("refused") != std::string::npos) return nullptr;
    children.push_back(std::make_unique<CAnchor>());
    return children.back().get();
  }
  std::vector<std::string> calls;
  std::vector<CPageChild*> links;
  std::vector<std::unique_ptr<CAnchor>> children;
};

TEST(CacheLinks, RebuildLinksRecreatesChildrenAndDropsRefusedLinks) {
  CPageDescr page("http://h/p.html");
  const std::vector<CPageChild*> records = {AddChild(&page, "http://h/a", 0, "A"),
                                            AddChild(&page, "http://h/refused1", 1, "R"),
                                            AddChild(&page, "http://h/refused2", 2), AddChild(&page, "http://h/c", 1)};
  FakeLocation location;
  page.RebuildLinks(location);
  EXPECT_EQ(location.calls,
            (std::vector<std::string>{"http://h/a 0", "http://h/refused1 1", "http://h/refused2 2", "http://h/c 1"}));
  EXPECT_EQ(location.links, records);
  ASSERT_EQ(page.m_links.size(), 2u);
  EXPECT_EQ(page.m_links[0].get(), records[0]);
  EXPECT_EQ(page.m_links[1].get(), records[3]);
  ASSERT_EQ(location.children.size(), 2u);
  EXPECT_EQ(location.children[0]->m_strName, "A");
  EXPECT_EQ(location.children[0]->m_bNameFixed, 0);  // a title, not a name the user gave
  EXPECT_EQ(location.children[1]->m_strName, "");
}

}  // namespace
