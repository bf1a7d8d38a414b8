// What the cache keeps beside its index for telling what changed: the
// digests of the stored copies' bodies, in a file of their own that leaves
// the index's bytes alone, and the previous copies' folder; neither a
// hostile file nor garbage collection turns them against the agent.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/agent/agent_leftovers.h"
#include "engine/cache/body_digests.h"
#include "engine/cache/cache.h"
#include "platform/temp_folder.h"

namespace {

using hv::cache::CPreviousCopies;
using hv::test::ReadText;
using hv::test::WriteText;

class KeptBeside : public ::testing::Test {
 protected:
  void SetUp() override {
    m_cache = Open();
    for (const char* address : {"http://h/a", "http://h/b"}) {
      CPageDescr* page = m_cache->FindOrCreate(address);
      page->PrepareFile(*m_cache, nullptr);
      page->m_tStoredAt = 1000;
      WriteText(In(page->m_strLocalFile), std::string("copy of ") + address);
    }
    m_a = m_cache->Find("http://h/a")->m_strLocalFile;
    WriteText(m_victim, "not ours");
  }
  std::unique_ptr<CCache> Open() const {
    auto cache = std::make_unique<CCache>(m_dir);
    cache->Open();
    return cache;
  }
  std::string In(const std::string& name) const { return m_dir + "/" + name; }
  std::string Previous(const std::string& name = {}) const {
    return In(CPreviousCopies::FolderName() + (name.empty() ? "" : "/" + name));
  }

  hv::test::TempFolder m_temp;
  std::string m_dir = m_temp / "Agent";
  std::string m_victim = m_temp / "victim";
  std::unique_ptr<CCache> m_cache;
  std::string m_a;
};

TEST_F(KeptBeside, only_the_digests_file_of_its_index_gives_digests_back) {
  ASSERT_TRUE(m_cache->Save());
  const std::string index = ReadText(In("Harvion Cache.hvc"));
  m_cache->Find("http://h/a")->m_bodyDigest = hv::cache::BodyDigest{1, 2, 3};
  ASSERT_TRUE(m_cache->Save());
  EXPECT_EQ(ReadText(In("Harvion Cache.hvc")), index);
  const std::string path = In(hv::cache::DigestsFileName());
  const std::string file = ReadText(path);
  const std::string header = "harvion body digests 1\n", digest = "01020300000000000000000000000000";
  EXPECT_EQ(file, header + digest + "\t1000\t" + m_a + "\n");
  struct Case {
    const char* name;
    std::string text;  // empty: no file
    bool applies;
  };
  const std::vector<Case> cases = {
      {"its own", file, true},
      {"none", "", false},
      {"garbage", std::string(3000, '\xff') + "\n\t\n", false},
      {"another time", header + digest + "\t999\t" + m_a + "\n", false},
      {"upper-case digits", header + "ABCDEF" + digest.substr(6) + "\t1000\t" + m_a + "\n", false},
      {"the line cut short", header + digest + "\t1000\t" + m_a, false},
      {"a path", header + digest + "\t1000\t../victim\n", false},
      {"the index", header + digest + "\t1000\tHarvion Cache.hvc\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hv::fs::RemoveFile(path);
    if (!c.text.empty()) WriteText(path, c.text);
    auto cache = Open();
    EXPECT_EQ(cache->Find("http://h/a")->m_bodyDigest.has_value(), c.applies);
    EXPECT_FALSE(cache->Find("http://h/b")->m_bodyDigest.has_value());
    EXPECT_EQ(hv::fs::Exists(path) ? ReadText(path) : "", c.text);  // reading writes nothing
  }
  // Too large for ours, or no file at all (a pipe would never end): not read.
  ASSERT_EQ(::truncate(path.c_str(), 65 << 20), 0);  // sparse: no disk taken
  EXPECT_FALSE(Open()->Find("http://h/a")->m_bodyDigest.has_value());
  hv::fs::RemoveFile(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_FALSE(Open()->Find("http://h/a")->m_bodyDigest.has_value());
  EXPECT_EQ(ReadText(m_victim), "not ours");
}

TEST_F(KeptBeside, previous_copies_stay_inside_their_folder) {
  CPreviousCopies& previous = m_cache->Previous();
  // A link or a file where the folder would be: nothing made, nothing reached.
  ASSERT_EQ(::symlink(m_temp.path().c_str(), Previous().c_str()), 0);
  EXPECT_EQ(previous.Stage(m_dir, m_a), "");
  ::unlink(Previous().c_str());
  WriteText(Previous(), "a file");
  EXPECT_EQ(previous.Stage(m_dir, m_a), "");
  ::unlink(Previous().c_str());
  EXPECT_FALSE(hv::fs::Exists(m_temp / m_a));
  for (const char* name : {"../victim", "Harvion Cache.hvc", ""}) EXPECT_EQ(previous.Stage(m_dir, name), "") << name;

  // The old file itself, under another name, becomes the previous copy.
  previous.BeginRun();
  const std::string staged = previous.Stage(m_dir, m_a);
  hv::fs::RemoveFile(In(m_a));  // the new copy takes the name
  WriteText(In(m_a), "new copy");
  previous.Keep(m_dir, staged, m_a);
  EXPECT_EQ(ReadText(Previous(m_a)), "copy of http://h/a");
  // Anything else in the folder is no copy, and makes the folder the user's.
  ASSERT_EQ(::symlink(m_victim.c_str(), Previous("3S0000ff.html").c_str()), 0);
  EXPECT_EQ(CPreviousCopies::Names(m_dir), std::unordered_set<std::string>{m_a});
  EXPECT_FALSE(hv::leftovers::HoldsOnlyAgentFiles(m_dir));
  ::unlink(Previous("3S0000ff.html").c_str());
  EXPECT_TRUE(hv::leftovers::HoldsOnlyAgentFiles(m_dir));

  // Collection keeps the copies of pages it keeps.
  m_cache->BeginCollection();
  m_cache->Find("http://h/a")->MarkUsed(*m_cache, true);
  m_cache->Collect();
  EXPECT_TRUE(hv::fs::Exists(Previous(m_a)));
  m_cache->BeginCollection();
  m_cache->Collect();
  EXPECT_FALSE(hv::fs::Exists(Previous(m_a)));
  EXPECT_EQ(ReadText(m_victim), "not ours");
}

}  // namespace
