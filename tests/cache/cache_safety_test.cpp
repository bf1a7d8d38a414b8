// What a hostile or damaged index and folder can make the cache do: never
// touch a file outside the agent's folder, never take the stored pages of an
// index it could not read, never delete anything but the page store's files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "engine/cache/cache.h"
#include "harvion/exports.h"
#include "platform/files/file_system.h"
#include "platform/framework/archive.h"
#include "platform/temp_folder.h"
#include "support/golden_bytes.h"

namespace {

using hv::test::ReadText;
using hv::test::WriteText;

// A string of any length, as the archive writes it.
void Str(GoldenBytes& g, const std::string& s) {
  if (s.size() < 255) {
    g.str(s);
    return;
  }
  g.u8(0xFF).u16(static_cast<std::uint16_t>(s.size()));
  for (const char c : s) g.u8(static_cast<std::uint8_t>(c));
}

struct Record {
  std::string key, address, localFile;
};

// An index of new records, each entered under its key and, with a local
// file, under that name as a back-reference.
std::vector<std::uint8_t> IndexOf(const std::vector<Record>& records) {
  GoldenBytes g;
  std::uint16_t keys = 0;
  for (const Record& r : records) keys += r.localFile.empty() ? 1 : 2;
  g.u16(keys);
  std::uint16_t next = 2;  // class 1 is CPageDescr
  for (const Record& r : records) {
    Str(g, r.key);
    if (next == 2)
      g.newClass("CPageDescr");
    else
      g.classRef(1);
    g.u16(0);
    Str(g, r.address);
    Str(g, r.localFile);
    g.u8(3).u32(0).u32(0).u8(2).u32(0).u32(0).u8(0);
    g.str("").u32(0).str("").str("").str("").str("").u32(0).str("").u32(0).str("");
    if (!r.localFile.empty()) {
      Str(g, r.localFile);
      g.objectRef(next);
    }
    ++next;
  }
  return g.u32(2).bytes();
}

// Counts the engine's messages while it lives.
class MessageCounter {
 public:
  MessageCounter() {
    m_previous = SetMessageSink([this](const std::string& text, const std::string&, HWND) {
      ++count;
      last = text;
    });
  }
  ~MessageCounter() { SetMessageSink(m_previous); }
  int count = 0;
  std::string last;

 private:
  MessageSink m_previous;
};

class CacheSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hv::fs::EnsureDirectory(m_dir));
    for (const char* page : {"3S000000.html", "3S000001.html"}) WriteText(In(page), page);
    WriteText(m_victim, "not a page");
  }
  std::string In(const std::string& name) const { return m_dir + "/" + name; }
  std::string IndexPath() const { return In("Harvion Cache.hvc"); }
  std::unique_ptr<CCache> Open() {
    auto cache = std::make_unique<CCache>(m_dir);
    cache->Open();
    return cache;
  }
  // A collection in which only these addresses are used, keeping copies.
  static void CollectKeeping(CCache& cache, const std::vector<std::string>& used) {
    cache.BeginCollection();
    for (const std::string& address : used)
      if (CPageDescr* record = cache.Find(address)) record->MarkUsed(cache, true);
    cache.Collect();
  }

  hv::test::TempFolder m_temp;
  std::string m_dir = m_temp / "Agent";
  std::string m_victim = m_temp / "victim.txt";
};

const std::vector<Record> kTwoPages = {{"http://h/a", "http://h/a", "3S000000.html"},
                                       {"http://h/b", "http://h/b", "3S000001.html"}};

TEST_F(CacheSafety, HostileIndexesNeitherLoseThePagesNorReachOutside) {
  const std::vector<std::uint8_t> good = IndexOf(kTwoPages);
  const auto damaged = [&](const std::function<void(std::vector<std::uint8_t>&)>& change) {
    std::vector<std::uint8_t> bytes = good;
    change(bytes);
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> index;
    bool loads;
    std::vector<std::string> kept;  // addresses whose records keep their file
    std::vector<std::string> pages;  // the stored files left after collecting
  };
  const std::string nul("3S000001.html\0x", 15);
  const std::vector<std::string> both = {"3S000000.html", "3S000001.html"};
  const std::vector<Case> cases = {
      {"one bad byte", damaged([](auto& b) { b[0] = 3; }), false, {}, both},
      {"class name", damaged([](auto& b) { b[19] ^= 0x20; }), false, {}, both},
      {"truncated", damaged([](auto& b) { b.pop_back(); }), false, {}, both},
      {"trailing bytes", damaged([](auto& b) { b.push_back(0); }), false, {}, both},
      {"empty", {}, false, {}, both},
      {"oversized count", GoldenBytes().u16(0xFFFF).u32(0xFFFFFFF0).str("a").bytes(), false, {}, both},
      {"a path as local name",
       IndexOf({{"http://h/a", "http://h/a", "3S000000.html"}, {"http://h/x", "http://h/x", "../victim.txt"}}),
       true,
       {"http://h/a"},
       {"3S000000.html"}},
      {"a NUL in the local name",
       IndexOf({{"http://h/b", "http://h/b", "3S000001.html"}, {"http://h/x", "http://h/x", nul}}),
       true,
       {"http://h/b"},
       {"3S000001.html"}},
      {"a 300-byte local name",
       IndexOf({{"http://h/x", "http://h/x", "3S000002." + std::string(291, 'h')}}), true, {}, {}},
      {"the index as local name", IndexOf({{"http://h/x", "http://h/x", "Harvion Cache.hvc"}}), true, {}, {}},
      // Two records claim one file; the key read last says whose it is.
      {"one file for two records",
       IndexOf({{"http://h/a", "http://h/a", "3S000000.html"}, {"http://h/x", "http://h/x", "3S000000.html"}}),
       true,
       {"http://h/x"},
       {"3S000000.html"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    hv::fs::RemoveFile(IndexPath() + ".damaged");
    hv::fs::WriteWholeFile(IndexPath(), c.index.data(), c.index.size());
    MessageCounter messages;
    auto cache = Open();
    EXPECT_EQ(messages.count, c.loads ? 0 : 1);
    EXPECT_EQ(cache->IndexLost(), !c.loads);
    EXPECT_EQ(hv::fs::Exists(IndexPath() + ".damaged"), !c.loads);
    if (!c.loads) {
      EXPECT_EQ(cache->KeyCount(), 1);  // the placeholder alone
    }
    for (const CPageDescr* record : cache->Records()) {
      const bool keeps = std::find(c.kept.begin(), c.kept.end(), record->m_strAddress) != c.kept.end();
      EXPECT_EQ(record->m_strLocalFile.empty(), !keeps) << record->m_strAddress;
    }
    CollectKeeping(*cache, c.kept);
    EXPECT_TRUE(cache->Save());
    EXPECT_EQ(ReadText(m_victim), "not a page");
    for (const std::string& page : both) {
      const bool left = std::find(c.pages.begin(), c.pages.end(), page) != c.pages.end();
      EXPECT_EQ(hv::fs::Exists(In(page)), left) << page;
    }
    // Nothing is written over a lost index's pages.
    EXPECT_EQ(hv::fs::IsRegularFile(IndexPath()), c.loads);
  }
}

TEST_F(CacheSafety, AnIndexTooLargeToReadIsSetAsideUnread) {
  // Sparse: the size alone is refused, nothing is read.
  WriteText(IndexPath(), "");
  ASSERT_EQ(::truncate(IndexPath().c_str(), static_cast<off_t>(CCache::kMaxIndexSize + 1)), 0);
  MessageCounter messages;
  auto cache = Open();
  EXPECT_EQ(messages.count, 1);
  EXPECT_TRUE(cache->IndexLost());
  EXPECT_EQ(hv::fs::FileSize(IndexPath() + ".damaged"), static_cast<std::int64_t>(CCache::kMaxIndexSize + 1));
}

TEST_F(CacheSafety, ALostIndexKeepsThePagesUntilARunRebuiltIt) {
  WriteText(IndexPath() + ".damaged", "older");
  const std::vector<std::uint8_t> bad = {1, 0, 9};
  hv::fs::WriteWholeFile(IndexPath(), bad.data(), bad.size());
  MessageCounter messages;
  {
    auto cache = Open();
    EXPECT_EQ(ReadText(IndexPath() + ".damaged"), std::string("\1\0\t", 3));  // the newest kept
    EXPECT_NE(messages.last.find(IndexPath() + ".damaged"), std::string::npos) << messages.last;
    // New copies pass over the names of the pages on disk.
    CPageDescr* page = cache->FindOrCreate("http://h/new.html");
    page->PrepareFile(*cache, nullptr);
    EXPECT_EQ(page->m_strLocalFile, "3S000002.html");
    EXPECT_EQ(ReadText(In("3S000000.html")), "3S000000.html");
  }
  // Set aside and not rebuilt: the next open is no wiser, and says nothing.
  auto cache = Open();
  EXPECT_EQ(messages.count, 1);
  EXPECT_TRUE(cache->IndexLost());
  CollectKeeping(*cache, {});
  EXPECT_TRUE(cache->Save());
  EXPECT_TRUE(hv::fs::Exists(In("3S000001.html")));
  EXPECT_FALSE(hv::fs::Exists(IndexPath()));

  cache->IndexRebuilt();
  CollectKeeping(*cache, {});
  EXPECT_FALSE(hv::fs::Exists(In("3S000001.html")));
  EXPECT_TRUE(cache->Save());
  EXPECT_FALSE(Open()->IndexLost());
}

TEST_F(CacheSafety, CollectionDeletesOnlyRegularFilesThePageStoreNamed) {
  // The agent's folder is a link to another disk's folder: it still works.
  const std::string real = m_temp / "elsewhere";
  ASSERT_EQ(::rename(m_dir.c_str(), real.c_str()), 0);
  ASSERT_EQ(::symlink(real.c_str(), m_dir.c_str()), 0);
  const std::vector<std::uint8_t> index = IndexOf({kTwoPages[0]});
  hv::fs::WriteWholeFile(IndexPath(), index.data(), index.size());
  ASSERT_EQ(::symlink(m_victim.c_str(), In("3S000002.html").c_str()), 0);
  ASSERT_EQ(::mkfifo(In("3S000003.html").c_str(), 0600), 0);
  ASSERT_TRUE(hv::fs::EnsureDirectory(In("3S000004.html")));
  const std::vector<std::string> notOurs = {"3S-notes.txt", "3S0000001.html", "3S00000A.html", "3S000005",
                                            "3S000006.", "3Sabcdef0123.html", "readme.3S000007.html"};
  for (const std::string& name : notOurs) WriteText(In(name), name);
  auto cache = Open();
  CollectKeeping(*cache, {"http://h/a"});
  EXPECT_TRUE(hv::fs::Exists(In("3S000000.html")));
  EXPECT_FALSE(hv::fs::Exists(real + "/3S000001.html"));  // a stray of ours
  struct stat st {};
  EXPECT_EQ(::lstat(In("3S000002.html").c_str(), &st), 0) << "link deleted";
  EXPECT_EQ(ReadText(m_victim), "not a page");
  EXPECT_EQ(::lstat(In("3S000003.html").c_str(), &st), 0) << "pipe deleted";
  EXPECT_TRUE(hv::fs::IsDirectory(In("3S000004.html")));
  for (const std::string& name : notOurs) EXPECT_TRUE(hv::fs::Exists(In(name))) << name;
}

TEST_F(CacheSafety, ACopyIsNeverMadeThroughALink) {
  CCache cache(m_dir);
  cache.Open();
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");
  page->m_strLocalFile = "3S000009.html";
  cache.AddKey(page->m_strLocalFile, page);
  ASSERT_EQ(::symlink(m_victim.c_str(), In(page->m_strLocalFile).c_str()), 0);
  EXPECT_FALSE(page->FileExists(cache));
  page->PrepareFile(cache, nullptr);
  EXPECT_TRUE(page->FileExists(cache));  // a file of its own now
  EXPECT_EQ(ReadText(m_victim), "not a page");
}

TEST(CacheLimits, AddressesLongerThanAnIndexCanCarryAreRefused) {
  CCache cache;
  EXPECT_NE(cache.FindOrCreate("http://h/" + std::string(CCache::kMaxAddress - 9, 'a')), nullptr);
  EXPECT_EQ(cache.FindOrCreate("http://h/" + std::string(CCache::kMaxAddress - 8, 'a')), nullptr);
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");
  EXPECT_EQ(page->AddLink(cache, "http://h/" + std::string(45 << 20, 'x'), 0, nullptr, nullptr), nullptr);
  EXPECT_TRUE(page->m_links.empty());

  // The key limit's worth of such records, each under its file name too,
  // with its address again as redirection target and in a link to it,
  // stays under what the reader takes.
  CPageDescr* longest = cache.FindOrCreate("http://h/" + std::string(CCache::kMaxAddress - 9, 'a'));
  longest->m_strLocalFile = "3S000000.html";
  longest->m_strLocation = longest->m_strAddress;
  longest->m_links.push_back(std::make_unique<CPageChild>());
  longest->m_links.back()->m_strAddress = longest->m_strAddress;
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  ar.WriteString(longest->m_strAddress);
  ar.WriteObject(longest);
  ar.WriteString(longest->m_strLocalFile);
  ar.WriteObject(longest);
  ar.Close();
  EXPECT_LT(file.GetLength() * (CCache::kKeyLimit + 2), CCache::kMaxIndexSize);
}

}  // namespace
