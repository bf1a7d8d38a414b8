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
#include "platform/temp_folder.h"
#include "support/golden_bytes.h"

namespace {

using hv::test::ReadText;
using hv::test::WriteText;

struct Record {
  std::string address, localFile;
};

// An index of stored pages, each entered under its address and its file name.
std::vector<std::uint8_t> IndexOf(const std::vector<Record>& records) {
  const auto str = [](GoldenBytes& g, const std::string& s) {
    if (s.size() < 255)
      g.u8(static_cast<std::uint8_t>(s.size()));
    else
      g.u8(0xFF).u16(static_cast<std::uint16_t>(s.size()));
    for (const char c : s) g.u8(static_cast<std::uint8_t>(c));
  };
  GoldenBytes g;
  g.u16(static_cast<std::uint16_t>(2 * records.size()));
  for (std::uint16_t i = 0; i < records.size(); ++i) {
    str(g, records[i].address);
    (i == 0 ? g.newClass("CPageDescr") : g.classRef(1)).u16(0);
    str(g, records[i].address);
    str(g, records[i].localFile);
    g.u8(3).u32(0).u32(0).u8(2).u32(0).u32(0).u8(0).str("").u32(0).str("").str("").str("").str("").u32(0);
    g.str("").u32(0).str("");
    str(g, records[i].localFile);
    g.objectRef(i + 2);
  }
  return g.u32(2).bytes();
}

class CacheSafety : public ::testing::Test {
 protected:
  CacheSafety() {
    m_sink = SetMessageSink([this](const std::string& text, const std::string&, HWND) { m_messages.push_back(text); });
  }
  ~CacheSafety() override { SetMessageSink(m_sink); }
  void SetUp() override { MakeFolder(); }
  // Two stored pages, and a file outside the folder.
  void MakeFolder() {
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
  std::vector<std::string> m_messages;
  MessageSink m_sink;
};

const std::vector<Record> kTwoPages = {{"http://h/a", "3S000000.html"}, {"http://h/b", "3S000001.html"}};

TEST_F(CacheSafety, HostileIndexesNeitherLoseThePagesNorReachOutside) {
  const auto changed = [](std::function<void(std::vector<std::uint8_t>&)> change) {
    std::vector<std::uint8_t> bytes = IndexOf(kTwoPages);
    change(bytes);
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> index;
    std::vector<std::string> kept;   // addresses that keep their file, in use; none: the index is damaged
    std::vector<std::string> pages;  // the stored files left after collecting
  };
  const std::vector<std::string> both = {"3S000000.html", "3S000001.html"};
  const std::vector<Case> cases = {
      {"one bad byte", changed([](auto& b) { b[0] = 3; }), {}, both},
      {"unknown class", changed([](auto& b) { b[19] ^= 0x20; }), {}, both},
      {"truncated", changed([](auto& b) { b.pop_back(); }), {}, both},
      {"trailing bytes", changed([](auto& b) { b.push_back(0); }), {}, both},
      {"empty", {}, {}, both},
      {"oversized count", GoldenBytes().u16(0xFFFF).u32(0xFFFFFFF0).str("a").bytes(), {}, both},
      {"a path", IndexOf({kTwoPages[0], {"http://h/x", "../victim.txt"}}), {"http://h/a"}, {both[0]}},
      {"a NUL", IndexOf({kTwoPages[1], {"http://h/x", std::string("3S000001.html\0x", 15)}}), {"http://h/b"},
       {both[1]}},
      {"300 bytes", IndexOf({kTwoPages[0], {"http://h/x", "3S000002." + std::string(291, 'h')}}), {"http://h/a"},
       {both[0]}},
      {"the index's name", IndexOf({kTwoPages[0], {"http://h/x", "Harvion Cache.hvc"}}), {"http://h/a"}, {both[0]}},
      // Two records claim one file: the key read last says whose it is.
      {"one file twice", IndexOf({kTwoPages[0], {"http://h/x", both[0]}}), {"http://h/x"}, {both[0]}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeFolder();
    hv::fs::RemoveFile(IndexPath() + ".damaged");
    hv::fs::WriteWholeFile(IndexPath(), c.index.data(), c.index.size());
    m_messages.clear();
    const bool loads = !c.kept.empty();
    auto cache = Open();
    EXPECT_EQ(m_messages.size(), loads ? 0u : 1u);
    EXPECT_EQ(cache->IndexLost(), !loads);
    EXPECT_EQ(hv::fs::Exists(IndexPath() + ".damaged"), !loads);
    for (const CPageDescr* record : cache->Records()) {
      const bool keeps = std::find(c.kept.begin(), c.kept.end(), record->m_strAddress) != c.kept.end();
      EXPECT_EQ(record->m_strLocalFile.empty(), !keeps) << record->m_strAddress;
    }
    CollectKeeping(*cache, c.kept);
    EXPECT_TRUE(cache->Save());
    EXPECT_EQ(ReadText(m_victim), "not a page");
    for (const std::string& page : both)
      EXPECT_EQ(hv::fs::Exists(In(page)), std::find(c.pages.begin(), c.pages.end(), page) != c.pages.end()) << page;
    EXPECT_EQ(hv::fs::IsRegularFile(IndexPath()), loads);  // none written over a lost index's pages
  }
}

TEST_F(CacheSafety, ALostIndexKeepsThePagesUntilARunRebuiltIt) {
  WriteText(IndexPath() + ".damaged", "older");
  WriteText(IndexPath(), "");  // sparse, too large to read: refused unread
  ASSERT_EQ(::truncate(IndexPath().c_str(), static_cast<off_t>(CCache::kMaxIndexSize + 1)), 0);
  {
    auto cache = Open();
    EXPECT_EQ(hv::fs::FileSize(IndexPath() + ".damaged"), static_cast<std::int64_t>(CCache::kMaxIndexSize + 1));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find(IndexPath() + ".damaged"), std::string::npos) << m_messages[0];
    // New copies pass over the names of the pages on disk.
    CPageDescr* page = cache->FindOrCreate("http://h/new.html");
    page->PrepareFile(*cache, nullptr);
    EXPECT_EQ(page->m_strLocalFile, "3S000002.html");
  }
  // Set aside and not rebuilt: the next open is no wiser, and says nothing.
  auto cache = Open();
  EXPECT_EQ(m_messages.size(), 1u);
  EXPECT_TRUE(cache->IndexLost());
  CollectKeeping(*cache, {});
  EXPECT_TRUE(cache->Save());
  EXPECT_EQ(ReadText(In("3S000001.html")), "3S000001.html");
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
  CollectKeeping(*Open(), {"http://h/a"});
  EXPECT_TRUE(hv::fs::Exists(In("3S000000.html")));
  EXPECT_FALSE(hv::fs::Exists(real + "/3S000001.html"));  // a stray of ours
  struct stat st {};
  for (const char* kept : {"3S000002.html", "3S000003.html", "3S000004.html"})
    EXPECT_EQ(::lstat(In(kept).c_str(), &st), 0) << kept;
  EXPECT_EQ(ReadText(m_victim), "not a page");
  for (const std::string& name : notOurs) EXPECT_TRUE(hv::fs::Exists(In(name))) << name;
}

TEST_F(CacheSafety, ACopyIsNeverMadeThroughALink) {
  auto cache = Open();
  CPageDescr* page = cache->FindOrCreate("http://h/p.html");
  page->m_strLocalFile = "3S000009.html";
  cache->AddKey(page->m_strLocalFile, page);
  ASSERT_EQ(::symlink(m_victim.c_str(), In(page->m_strLocalFile).c_str()), 0);
  EXPECT_FALSE(page->FileExists(*cache));
  page->PrepareFile(*cache, nullptr);
  EXPECT_TRUE(page->FileExists(*cache));  // a file of its own now
  EXPECT_EQ(ReadText(m_victim), "not a page");
}

TEST(CacheLimits, AddressesLongerThanAnIndexCanCarryAreRefused) {
  CCache cache;
  EXPECT_NE(cache.FindOrCreate("http://h/" + std::string(CCache::kMaxAddress - 9, 'a')), nullptr);
  EXPECT_EQ(cache.FindOrCreate("http://h/" + std::string(CCache::kMaxAddress - 8, 'a')), nullptr);
  CPageDescr* page = cache.FindOrCreate("http://h/p.html");
  EXPECT_EQ(page->AddLink(cache, "http://h/" + std::string(45 << 20, 'x'), 0, nullptr, nullptr), nullptr);
  EXPECT_TRUE(page->m_links.empty());
}

}  // namespace
