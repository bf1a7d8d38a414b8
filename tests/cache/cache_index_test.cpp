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
#include "platform/files/file_system.h"
#include "platform/framework/archive.h"
#include "platform/temp_folder.h"
#include "support/golden_bytes.h"

namespace {

constexpr std::uint32_t kFnvBasis = 2166136261u;

// Keys of one and the same FNV-1a hash, whatever the table size: each stage
// finds two eight-letter blocks that take the hash from one state to the
// same next state (a birthday search), and every choice of a block per stage
// gives a key. (Blocks of four or five bytes never collide.)
std::vector<std::string> CollidingKeys(int stages) {
  std::mt19937 random(1);
  std::uint32_t state = kFnvBasis;
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int stage = 0; stage < stages; ++stage) {
    std::unordered_map<std::uint32_t, std::string> seen;
    for (;;) {
      std::string block(8, 'a');
      for (char& c : block) c = static_cast<char>('a' + random() % 26);
      std::uint32_t h = state;
      for (const char c : block) h = (h ^ static_cast<std::uint8_t>(c)) * 16777619u;
      if (auto [it, fresh] = seen.emplace(h, block); !fresh && it->second != block) {
        pairs.emplace_back(it->second, block);
        state = h;
        break;
      }
    }
  }
  std::vector<std::string> keys;
  for (std::uint32_t mask = 0; mask < (1u << stages); ++mask) {
    std::string key;
    for (int stage = 0; stage < stages; ++stage)
      key += (mask >> stage) & 1 ? pairs[stage].second : pairs[stage].first;
    keys.push_back(key);
  }
  return keys;
}

// Runs f on a thread with a small stack: anything that recurses once per key
// of a long chain overflows it.
void RunOnSmallStack(const std::function<void()>& f) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  pthread_t thread;
  auto* task = new std::function<void()>(f);
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* arg) -> void* {
                  std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(arg));
                  (*run)();
                  return nullptr;
                },
                task),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// Whether another thread finds the cache lock taken.
bool LockHeldElsewhere() {
  return std::async(std::launch::async, [] {
           if (!CCache::Lock().try_lock()) return true;
           CCache::Lock().unlock();
           return false;
         }).get();
}

// Fields of a record after its links, empty but for the address and state.
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
  g.u16(4);
  g.str("http://h/b.html").newClass("CPageDescr");  // class 1, object 2
  g.u16(0);
  PlainFields(g, "http://h/b.html", 0);
  golden.firstEnd = g.bytes().size();
  g.str("http://h/a.html").classRef(1);  // object 3
  g.u16(2);
  g.newClass("CPageChild").u8(0).str("http://h/b.html").str("B");  // class 4, object 5
  g.classRef(4).u8(1).str("http://h/i.gif").str("");                 // object 6
  g.str("http://h/a.html").str("3S000000.html").u8(3).u32(0x11223344).u32(0x11223300).u8(2);
  g.u32(0x11223345).u32(0x11220000).u8(1).str("HTTP/1.0 200 OK").u32(1234).str("text/html");
  g.str("Mon, 02 Mar 1998 10:20:30 GMT").str("").str("A page").u32(0x34FA8A1E).str("").u32(200).str("OK");
  g.str("hvempty.gif").classRef(1);  // object 7
  g.u16(0);
  PlainFields(g, "hvempty.gif", 3);
  g.str("3S000000.html").objectRef(3);
  golden.mapEnd = g.bytes().size();
  g.u32(1);
  golden.bytes = g.bytes();
  return golden;
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
  auto page = std::make_unique<CPageChild>();
  page->m_strAddress = "http://h/b.html";
  page->m_strTitle = "B";
  a->m_links.push_back(std::move(page));
  auto image = std::make_unique<CPageChild>();
  image->m_nLinkType = CPageChild::kEmbedded;
  image->m_strAddress = "http://h/i.gif";
  a->m_links.push_back(std::move(image));
  cache.CheckPlaceholder();
}

std::vector<std::uint8_t> SerializeToMemory(CObject& object) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  object.Serialize(ar);
  ar.Close();
  return file.Detach();
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  const std::string text = hv::test::ReadText(path);
  return {text.begin(), text.end()};
}

class CacheIndex : public ::testing::Test {
 protected:
  std::string IndexPath() const { return m_dir + "/Harvion Cache.hvc"; }

  // A fresh cache opened over an index file of these bytes.
  std::unique_ptr<CCache> OpenWith(const std::vector<std::uint8_t>& bytes) {
    hv::fs::EnsureDirectory(m_dir);
    hv::fs::WriteWholeFile(IndexPath(), bytes.data(), bytes.size());
    auto cache = std::make_unique<CCache>(m_dir);
    cache->Open();
    return cache;
  }

  // What every loaded cache must satisfy, however damaged its file: what
  // was loaded (every record behind every key) saves and loads again whole.
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

// ---- the map ---------------------------------------------------------------

TEST(CacheMap, BucketsAreFnv1aModuloTableSize) {
  // Worked out apart from the engine (python3: h = 2166136261; for each byte
  // h = ((h ^ byte) * 16777619) % 2**32; then h % 5987).
  EXPECT_EQ(CPageMap::BucketOf(""), kFnvBasis % 5987);
  EXPECT_EQ(CPageMap::BucketOf("http://h/b.html"), 1484u);
  EXPECT_EQ(CPageMap::BucketOf("http://h/a.html"), 1804u);
  EXPECT_EQ(CPageMap::BucketOf("hvempty.gif"), 2012u);
  EXPECT_EQ(CPageMap::BucketOf("3S000000.html"), 2321u);
}

TEST(CacheMap, ChainsListNewestFirstAndKeysCompareExactly) {
  const std::vector<std::string> same = CollidingKeys(2);
  ASSERT_EQ(CPageMap::BucketOf(same[0]), CPageMap::BucketOf(same[3]));
  ASSERT_NE(same[0], same[3]);
  CPageDescr r0, r1, r2, r3;
  CPageMap map;
  map.SetAt("http://h/a.html", &r0);  // alone in its bucket
  for (std::size_t i = 0; i < same.size(); ++i) map.SetAt(same[i], i % 2 ? &r1 : &r2);
  map.SetAt(same[1], &r3);  // replaces in place: neither count nor order change
  EXPECT_EQ(map.GetCount(), 5);
  EXPECT_EQ(map.Lookup(same[1]), &r3);
  EXPECT_EQ(map.Lookup("HTTP://h/a.html"), nullptr);

  std::vector<std::string> order;
  map.ForEach([&](const std::string& key, CPageDescr*) { order.push_back(key); });
  const bool chainFirst = CPageMap::BucketOf(same[0]) < CPageMap::BucketOf("http://h/a.html");
  std::vector<std::string> expected = {same[3], same[2], same[1], same[0]};
  expected.insert(chainFirst ? expected.end() : expected.begin(), "http://h/a.html");
  EXPECT_EQ(order, expected);

  EXPECT_TRUE(map.RemoveKey(same[2]));  // from the middle of the chain
  EXPECT_FALSE(map.RemoveKey(same[2]));
  EXPECT_EQ(map.Lookup(same[1]), &r3);
  EXPECT_EQ(map.Lookup(same[3]), &r1);
  EXPECT_EQ(map.GetCount(), 4);

  CPageMap moved = std::move(map);
  EXPECT_EQ(moved.GetCount(), 4);
  EXPECT_EQ(map.GetCount(), 0);  // NOLINT(bugprone-use-after-move): a moved-from map is empty and usable
  EXPECT_EQ(map.Lookup(same[1]), nullptr);
  map.SetAt("k", &r0);
  EXPECT_EQ(map.Lookup("k"), &r0);
  moved.RemoveAll();
  EXPECT_EQ(moved.GetCount(), 0);
  EXPECT_EQ(moved.Lookup(same[3]), nullptr);
}

// ---- keys --------------------------------------------------------------------

TEST(CacheKeys, WhichAddressesGetARecord) {
  CCache cache;
  EXPECT_EQ(cache.FindOrCreate(""), nullptr);
  EXPECT_EQ(cache.FindOrCreate("ftp://h/x"), nullptr);
  EXPECT_EQ(cache.FindOrCreate("c:\\x.html"), nullptr);
  EXPECT_EQ(cache.FindOrCreate("htt:x"), nullptr);
  EXPECT_EQ(cache.FindOrCreate("mailto:a@b"), nullptr);
  CPageDescr* upper = cache.FindOrCreate("HTTP://h/");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(upper->m_strAddress, "HTTP://h/");
  EXPECT_EQ(cache.FindOrCreate("HTTP://h/"), upper);
  EXPECT_NE(cache.FindOrCreate("http://h/"), upper);  // keys are exact
  CPageDescr* bare = cache.FindOrCreate("readme.txt");
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->m_nState, CPageDescr::kNotStored);
  EXPECT_TRUE(bare->m_strLocalFile.empty());
  EXPECT_EQ(cache.KeyCount(), 3);
}

TEST(CacheKeys, NewAddressesStopAboveTheKeyLimit) {
  CCache cache;
  for (int i = 0; cache.KeyCount() < CCache::kKeyLimit; ++i)
    ASSERT_NE(cache.FindOrCreate("k" + std::to_string(i)), nullptr);
  ASSERT_EQ(cache.KeyCount(), 4989);
  CPageDescr* last = cache.FindOrCreate("http://h/last");
  ASSERT_NE(last, nullptr);
  ASSERT_EQ(cache.KeyCount(), 4990);
  EXPECT_EQ(cache.FindOrCreate("http://h/one-more"), nullptr);
  EXPECT_EQ(cache.FindOrCreate("http://h/last"), last);
  EXPECT_NE(cache.FindOrCreate("k17"), nullptr);
  EXPECT_EQ(cache.KeyCount(), 4990);
  // Another key for a known record is no new address.
  cache.AssignFileName("http://h/last", last);
  EXPECT_EQ(cache.Find(last->m_strLocalFile), last);
}

TEST(CacheKeys, LockedLookupsHoldTheLockOnlyWithARecord) {
  CCache cache;
  EXPECT_EQ(cache.FindLocked("http://h/"), nullptr);
  EXPECT_FALSE(LockHeldElsewhere());
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

TEST(CacheKeys, FileNumbersCountUpAndRecordsAreListedOnce) {
  CCache counter;
  counter.m_nNextFileNumber = 41;
  EXPECT_EQ(counter.NextFileNumber(), 41);
  EXPECT_EQ(counter.NextFileNumber(), 42);
  EXPECT_EQ(counter.m_nNextFileNumber, 43);

  CCache cache;
  BuildGoldenCache(cache);
  CPageDescr* a = cache.Find("http://h/a.html");
  const std::vector<CPageDescr*> records = cache.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], cache.Find("http://h/b.html"));
  EXPECT_EQ(records[1], a);
  EXPECT_EQ(records[2], cache.Find("hvempty.gif"));
  EXPECT_EQ(cache.Find(a->m_strLocalFile), a);
  cache.RemoveKey("http://h/a.html");
  EXPECT_TRUE(cache.Contains(a));  // still under its file name
  cache.RemoveKey(a->m_strLocalFile);
  EXPECT_FALSE(cache.Contains(a));
}

// ---- the file's bytes ------------------------------------------------------

TEST_F(CacheIndex, SavesTheGoldenBytesAndLoadsThemBack) {
  const GoldenIndex golden = GoldenCacheIndex();
  {
    CCache cache(m_dir);
    BuildGoldenCache(cache);
    ASSERT_EQ(cache.m_nNextFileNumber, 1);
    ASSERT_TRUE(cache.Save());
    EXPECT_EQ(FileBytes(IndexPath()), golden.bytes);
  }
  auto loaded = OpenWith(golden.bytes);
  ASSERT_EQ(loaded->KeyCount(), 4);
  CPageDescr* a = loaded->Find("http://h/a.html");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(loaded->Find("3S000000.html"), a);  // the back-reference is the same record
  EXPECT_EQ(a->m_strTitle, "A page");
  EXPECT_EQ(a->m_tLastModified, 0x34FA8A1Eu);
  ASSERT_EQ(a->m_links.size(), 2u);
  EXPECT_EQ(a->m_links[0]->m_strTitle, "B");
  EXPECT_EQ(a->m_links[1]->m_nLinkType, CPageChild::kEmbedded);
  EXPECT_EQ(loaded->Find("hvempty.gif")->m_nState, CPageDescr::kStored);
  EXPECT_EQ(loaded->Records().size(), 3u);
  EXPECT_EQ(loaded->m_nNextFileNumber, 1);
  ASSERT_TRUE(loaded->Save());
  EXPECT_EQ(FileBytes(IndexPath()), golden.bytes);
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
      r->m_nContentLength = static_cast<std::int32_t>(random());
      r->m_strTitle = std::string(random() % 300, 't');  // past the one-byte length too
      if (i % 3 != 2) {
        cache.AssignFileName(address, r);
        r->m_nState = i % 3 ? CPageDescr::kStored : CPageDescr::kInterrupted;
      }
      for (unsigned l = random() % 5; l > 0; --l) {
        auto link = std::make_unique<CPageChild>();
        link->m_nLinkType = static_cast<std::int32_t>(l % 3);
        link->m_strAddress = "http://h/" + std::to_string(random());
        link->m_strTitle = l % 2 ? "" : "title";
        r->m_links.push_back(std::move(link));
      }
    }
    cache.CheckPlaceholder();
    ASSERT_TRUE(cache.Save());
    for (CPageDescr* r : cache.Records()) expected.emplace_back(r->m_strAddress, SerializeToMemory(*r));
    ASSERT_EQ(cache.KeyCount(), 600 + 400 + 1);
  }
  CCache loaded(m_dir);
  loaded.Open();
  EXPECT_EQ(loaded.KeyCount(), 1001);
  EXPECT_EQ(loaded.m_nNextFileNumber, 400);
  EXPECT_EQ(loaded.Records().size(), expected.size());
  for (const auto& [address, bytes] : expected) {
    CPageDescr* r = loaded.Find(address);
    ASSERT_NE(r, nullptr) << address;
    EXPECT_EQ(SerializeToMemory(*r), bytes) << address;
    if (!r->m_strLocalFile.empty()) {
      EXPECT_EQ(loaded.Find(r->m_strLocalFile), r);
    }
  }
}

// ---- damaged files -----------------------------------------------------------

TEST_F(CacheIndex, AnEmptyOrMissingFileGivesAnEmptyCache) {
  for (bool present : {false, true}) {
    if (present) hv::test::WriteText(IndexPath(), "");
    CCache cache(m_dir);
    cache.Open();
    EXPECT_EQ(cache.KeyCount(), 1);  // the placeholder
    EXPECT_EQ(cache.m_nNextFileNumber, 0);
    EXPECT_TRUE(hv::fs::IsDirectory(m_dir));
  }
}

TEST_F(CacheIndex, ATruncatedFileKeepsWhatWasRead) {
  const GoldenIndex golden = GoldenCacheIndex();
  for (std::size_t size = 1; size < golden.bytes.size(); ++size) {
    SCOPED_TRACE(size);
    auto cache = OpenWith({golden.bytes.begin(), golden.bytes.begin() + static_cast<std::ptrdiff_t>(size)});
    ExpectConsistent(*cache);
    CPageDescr* b = cache->Find("http://h/b.html");
    EXPECT_EQ(b != nullptr, size >= golden.firstEnd);
    if (b) {
      EXPECT_EQ(b->m_strAddress, "http://h/b.html");
    }
    if (size >= golden.mapEnd) {
      // Only the counter is lost: it restarts past the names in use.
      EXPECT_EQ(cache->KeyCount(), 4);
      EXPECT_EQ(cache->m_nNextFileNumber, 1);
    }
  }
}

TEST_F(CacheIndex, MutatedBytesNeverBreakTheCache) {
  const GoldenIndex golden = GoldenCacheIndex();
  for (std::size_t at = 0; at < golden.bytes.size(); ++at) {
    const std::uint8_t was = golden.bytes[at];
    for (std::uint8_t value : {static_cast<std::uint8_t>(was ^ 0xFF), static_cast<std::uint8_t>(was + 1),
                               static_cast<std::uint8_t>(0)}) {
      SCOPED_TRACE(testing::Message() << "byte " << at << " = " << int(value));
      std::vector<std::uint8_t> bytes = golden.bytes;
      bytes[at] = value;
      auto cache = OpenWith(bytes);
      ExpectConsistent(*cache);
    }
  }
}

TEST_F(CacheIndex, ForeignObjectsAndBadReferencesEndTheLoad) {
  // A key whose record is a link.
  GoldenBytes child;
  child.u16(2).str("http://h/a.html").newClass("CPageDescr").u16(0);
  PlainFields(child, "http://h/a.html", 0);
  child.str("x").newClass("CPageChild").u8(0).str("").str("").u32(5);
  auto cache = OpenWith(child.bytes());
  ExpectConsistent(*cache);
  EXPECT_NE(cache->Find("http://h/a.html"), nullptr);
  EXPECT_EQ(cache->Find("x"), nullptr);
  EXPECT_EQ(cache->m_nNextFileNumber, 0);

  // A key referring back to a link read inside the record before it.
  GoldenBytes backToChild;
  backToChild.u16(2).str("a").newClass("CPageDescr").u16(1);  // class 1, object 2
  backToChild.newClass("CPageChild").u8(0).str("http://h/").str("");  // class 3, object 4
  PlainFields(backToChild, "a", 0);
  backToChild.str("b").objectRef(4).u32(0);
  cache = OpenWith(backToChild.bytes());
  ExpectConsistent(*cache);
  ASSERT_NE(cache->Find("a"), nullptr);
  EXPECT_EQ(cache->Find("a")->m_links.size(), 1u);
  EXPECT_EQ(cache->Find("b"), nullptr);

  // A null record, and a reference to an object never read.
  for (std::uint16_t ref : {std::uint16_t{0}, std::uint16_t{9}}) {
    GoldenBytes bad;
    bad.u16(2).str("a").newClass("CPageDescr").u16(0);
    PlainFields(bad, "a", 0);
    bad.str("b").objectRef(ref).u32(0);
    cache = OpenWith(bad.bytes());
    ExpectConsistent(*cache);
    EXPECT_NE(cache->Find("a"), nullptr);
    EXPECT_EQ(cache->Find("b"), nullptr);
    EXPECT_EQ(cache->KeyCount(), 2);
  }
}

TEST_F(CacheIndex, AKeyReadTwiceKeepsItsLastRecordOnly) {
  GoldenBytes twice;
  twice.u16(2).str("k").newClass("CPageDescr").u16(0);
  PlainFields(twice, "first", 0);
  twice.str("k").classRef(1).u16(0);
  PlainFields(twice, "second", 0);
  twice.u32(3);
  auto cache = OpenWith(twice.bytes());
  ExpectConsistent(*cache);
  ASSERT_NE(cache->Find("k"), nullptr);
  EXPECT_EQ(cache->Find("k")->m_strAddress, "second");
  EXPECT_EQ(cache->Records().size(), 2u);  // the first record is gone, not leaked
  EXPECT_EQ(cache->m_nNextFileNumber, 3);
}

TEST_F(CacheIndex, HugeCountsAreRefused) {
  GoldenBytes keys;
  keys.u16(0xFFFF).u32(0xFFFFFFFF).str("a");
  auto cache = OpenWith(keys.bytes());
  EXPECT_EQ(cache->KeyCount(), 1);

  GoldenBytes links;
  links.u16(1).str("a").newClass("CPageDescr").u16(0xFFFF).u32(0x10000000);
  cache = OpenWith(links.bytes());
  EXPECT_EQ(cache->KeyCount(), 1);

  // More keys than any index of ours holds, though the bytes are there.
  const std::uint16_t count = 4 * (CCache::kKeyLimit + 1) + 1;
  GoldenBytes many;
  many.u16(count).str("a").newClass("CPageDescr").u16(0);
  PlainFields(many, "a", 0);
  for (int i = 1; i < count; ++i) many.str("").objectRef(2);
  many.u32(0);
  cache = OpenWith(many.bytes());
  EXPECT_EQ(cache->Find("a"), nullptr);
}

TEST_F(CacheIndex, KeysOfOneBucketLoadAndGoWithoutDeepRecursion) {
  const std::vector<std::string> keys = CollidingKeys(13);
  ASSERT_EQ(CPageMap::BucketOf(keys.front()), CPageMap::BucketOf(keys.back()));
  GoldenBytes g;
  g.u16(static_cast<std::uint16_t>(keys.size())).str(keys[0]).newClass("CPageDescr").u16(0);
  PlainFields(g, keys[0], 0);
  for (std::size_t i = 1; i < keys.size(); ++i) g.str(keys[i]).objectRef(2);
  g.u32(0);
  hv::fs::EnsureDirectory(m_dir);
  hv::fs::WriteWholeFile(IndexPath(), g.bytes().data(), g.bytes().size());

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
  EXPECT_GT(first, 0);
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
  cache.FindOrCreate("http://h/");
  ASSERT_TRUE(hv::fs::EnsureDirectory(m_dir));
  ASSERT_TRUE(hv::fs::EnsureDirectory(IndexPath()));  // the index's name taken by a folder
  EXPECT_FALSE(cache.Save());
  EXPECT_EQ(totals.files, 0);
  EXPECT_EQ(totals.bytes, 0);
  EXPECT_TRUE(hv::fs::IsDirectory(IndexPath()));

  CCache orphan(m_temp / "missing/Agent");  // one level only: no parent, no folder
  orphan.SetTotals(&totals);
  EXPECT_FALSE(orphan.Save());
  EXPECT_EQ(totals.files, 0);

  if (::geteuid() == 0) return;  // root writes into a read-only folder anyway
  ASSERT_TRUE(hv::fs::RemoveTree(IndexPath()));
  ASSERT_TRUE(cache.Save());
  const std::vector<std::uint8_t> before = FileBytes(IndexPath());
  const RecordingTotals saved = totals;
  cache.FindOrCreate("http://h/more");
  ASSERT_EQ(::chmod(m_dir.c_str(), 0555), 0);
  EXPECT_FALSE(cache.Save());
  ::chmod(m_dir.c_str(), 0755);
  EXPECT_EQ(FileBytes(IndexPath()), before);
  EXPECT_EQ(totals.files, saved.files);
  EXPECT_EQ(totals.bytes, saved.bytes);
}

// ---- links -------------------------------------------------------------------

TEST(CacheLinks, AddLinkHandsBackTheTargetStillLocked) {
  CCache cache;
  std::lock_guard held(CCache::Lock());  // as the parsers hold it
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");

  CPageChild* made = nullptr;
  CPageDescr* target = page->AddLink(cache, "http://h/q.gif", CPageChild::kEmbedded, nullptr, &made);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target, cache.Find("http://h/q.gif"));
  ASSERT_EQ(page->m_links.size(), 1u);
  EXPECT_EQ(made, page->m_links[0].get());
  EXPECT_EQ(made->m_nLinkType, CPageChild::kEmbedded);
  EXPECT_EQ(made->m_strAddress, "http://h/q.gif");
  CCache::Lock().unlock();  // the level AddLink added

  CPageChild* untouched = nullptr;
  EXPECT_EQ(page->AddLink(cache, "http://h/q.gif", CPageChild::kPage, made, &untouched), target);
  EXPECT_EQ(untouched, nullptr);
  EXPECT_EQ(page->m_links.size(), 1u);
  CCache::Lock().unlock();

  EXPECT_EQ(page->AddLink(cache, "http://h/p.html", CPageChild::kPage, nullptr, &untouched), nullptr);
  EXPECT_EQ(page->AddLink(cache, "ftp://h/f", CPageChild::kPage, nullptr, nullptr), nullptr);
  EXPECT_EQ(page->m_links.size(), 1u);
}

TEST(CacheLinks, AddLinkLeavesTheCallersLockLevelOnly) {
  CCache cache;
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");
  {
    std::lock_guard held(CCache::Lock());
    ASSERT_EQ(page->AddLink(cache, "http://h/p.html", CPageChild::kPage, nullptr, nullptr), nullptr);
  }
  EXPECT_FALSE(LockHeldElsewhere());
  {
    std::lock_guard held(CCache::Lock());
    ASSERT_NE(page->AddLink(cache, "http://h/q.html", CPageChild::kPage, nullptr, nullptr), nullptr);
  }
  EXPECT_TRUE(LockHeldElsewhere());
  CCache::Lock().unlock();
  EXPECT_FALSE(LockHeldElsewhere());
}

TEST(CacheLinks, MarkUsedKeepsTargetsAndDropsLinksToNothing) {
  RecordingTotals totals;
  CCache cache;
  cache.SetTotals(&totals);
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");
  CPageDescr* kept = cache.FindOrCreate("http://h/kept.html");
  for (const char* address : {"http://h/gone1", "http://h/kept.html", "http://h/gone2"}) {
    auto link = std::make_unique<CPageChild>();
    link->m_strAddress = address;
    page->m_links.push_back(std::move(link));
  }
  page->MarkUsed(cache, true);
  EXPECT_EQ(page->m_bInUse, 1);
  EXPECT_EQ(page->m_bKeepCopy, 1);
  ASSERT_EQ(page->m_links.size(), 1u);
  EXPECT_EQ(page->m_links[0]->m_strAddress, "http://h/kept.html");
  EXPECT_EQ(kept->m_bInUse, 1);
  EXPECT_EQ(kept->m_bKeepCopy, 0);
  EXPECT_EQ(totals.changes, 1);

  kept->MarkUsed(cache, false);
  EXPECT_EQ(kept->m_bKeepCopy, 0);
  page->MarkUsed(cache, false);
  EXPECT_EQ(page->m_bKeepCopy, 1);  // marks only add
  EXPECT_EQ(totals.changes, 1);     // nothing removed, nothing to save
}

// A location that refuses some addresses and gives every other link a child.
class FakeLocation : public CLinkOwner {
 public:
  CAnchor* AddLink(const std::string& address, int linkType, bool collectText, CPageChild* link) override {
    calls.push_back({address, linkType, collectText, link});
    if (address.find("refused") != std::string::npos) return nullptr;
    children.push_back(std::make_unique<CAnchor>());
    return children.back().get();
  }
  struct Call {
    std::string address;
    int linkType;
    bool collectText;
    CPageChild* link;
  };
  std::vector<Call> calls;
  std::vector<std::unique_ptr<CAnchor>> children;
};

TEST(CacheLinks, RebuildLinksRecreatesChildrenAndDropsRefusedLinks) {
  CPageDescr page("http://h/p.html");
  const std::vector<std::pair<std::string, std::string>> links = {
      {"http://h/a", "A"}, {"http://h/refused1", "R"}, {"http://h/refused2", ""}, {"http://h/c", ""}};
  std::vector<CPageChild*> records;
  for (std::size_t i = 0; i < links.size(); ++i) {
    auto link = std::make_unique<CPageChild>();
    link->m_strAddress = links[i].first;
    link->m_strTitle = links[i].second;
    link->m_nLinkType = static_cast<std::int32_t>(i % 3);
    records.push_back(link.get());
    page.m_links.push_back(std::move(link));
  }
  FakeLocation location;
  page.RebuildLinks(location);

  ASSERT_EQ(location.calls.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(location.calls[i].address, links[i].first);
    EXPECT_EQ(location.calls[i].linkType, static_cast<int>(i % 3));
    EXPECT_FALSE(location.calls[i].collectText);
    EXPECT_EQ(location.calls[i].link, records[i]);
  }
  ASSERT_EQ(page.m_links.size(), 2u);
  EXPECT_EQ(page.m_links[0]->m_strAddress, "http://h/a");
  EXPECT_EQ(page.m_links[1]->m_strAddress, "http://h/c");
  ASSERT_EQ(location.children.size(), 2u);
  EXPECT_EQ(location.children[0]->m_strName, "A");
  EXPECT_EQ(location.children[0]->m_bNameFixed, 0);  // a title, not a name the user gave
  EXPECT_EQ(location.children[1]->m_strName, "");
}

}  // namespace
