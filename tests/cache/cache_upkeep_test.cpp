// The cache as the agent uses it: a record's retrieval from start to end,
// the totals, garbage collection, clearing and saving with the agent.
#include <gtest/gtest.h>

#include <ctime>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/html_anchor.h"
#include "engine/cache/cache.h"
#include "harvion/messages.h"
#include "platform/files/file_system.h"
#include "support/test_home.h"

namespace {

class CacheUpkeep : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_agentNode = CSafClient::CreateAgent("Keeper");
    ASSERT_NE(m_agentNode, nullptr);
    m_runStart = static_cast<std::uint32_t>(std::time(nullptr)) - 10;
  }

  CAgentManager& Manager() { return CAgentManager::Instance(); }
  CCache& Cache() { return *Manager().Cache(); }
  CAgentAnchor& Agent() { return *Manager().Agent(); }

  // A location of the agent with the given load detail.
  CHTMLAnchor* Location(const char* url, int loadDetail) {
    CSafNode* node = CSafClient::CreateHTMLNode(m_agentNode, url, url, 0xFFFF);
    EXPECT_NE(node, nullptr);
    auto* anchor = dynamic_cast<CHTMLAnchor*>(Manager().Agent()->m_children.back().get());
    anchor->m_bUseParentSettings = 0;
    anchor->m_nLoadDetail = loadDetail;
    return anchor;
  }

  // Retrieves the page completely, writing some bytes as the page writer would.
  void Retrieve(CHTMLAnchor* location, int loadDetail, const std::string& body = "<html>page</html>") {
    CPageDescr* page = location->m_pPage;
    page->StartRetrieval(Cache(), location, loadDetail, nullptr, m_runStart);
    if (loadDetail != 0) {
      hv::fs::WriteWholeFile(Cache().PathOf(page->m_strLocalFile), body.data(), body.size());
      Agent().AddBytes(static_cast<std::int64_t>(body.size()));
    }
    page->EndRetrieval(Cache(), location, loadDetail, true, true, m_runStart);
  }

  CSafNode* m_agentNode = nullptr;
  std::uint32_t m_runStart = 0;
};

TEST_F(CacheUpkeep, retrieval_that_keeps_a_copy_ends_stored) {
  CHTMLAnchor* loc = Location("http://h/a.html", 2);
  CPageDescr* page = loc->m_pPage;
  page->m_bChanged = 1;
  const int previous = page->StartRetrieval(Cache(), loc, 2, nullptr, m_runStart);
  EXPECT_EQ(previous, CPageDescr::kStored);  // the empty file was made first
  EXPECT_EQ(page->m_nState, CPageDescr::kRetrieving);
  EXPECT_EQ(page->m_pRetriever, loc);
  EXPECT_EQ(page->m_bChanged, 0);  // first retrieval of the run
  ASSERT_FALSE(page->m_strLocalFile.empty());
  EXPECT_TRUE(page->FileExists(Cache()));
  EXPECT_EQ(Agent().m_nFileCount, 1);

  // Another location finishing does not end this retrieval.
  CHTMLAnchor* other = Location("http://h/b.html", 2);
  page->EndRetrieval(Cache(), other, 2, true, true, m_runStart);
  EXPECT_EQ(page->m_nState, CPageDescr::kRetrieving);

  page->m_bChanged = 1;  // asked for credentials meanwhile
  page->EndRetrieval(Cache(), loc, 2, true, true, m_runStart);
  EXPECT_EQ(page->m_nState, CPageDescr::kStored);
  EXPECT_EQ(page->m_nCopyKept, 2);
  EXPECT_NE(page->m_tStoredAt, 0u);
  EXPECT_EQ(page->m_pRetriever, nullptr);
  EXPECT_EQ(page->m_tRetrievalStart, 0u);
  EXPECT_GE(page->m_tLinksUpdated, m_runStart);

  // Again in the same run: the credentials flag stays.
  page->StartRetrieval(Cache(), loc, 2, nullptr, m_runStart);
  EXPECT_EQ(page->m_bChanged, 1);
}

TEST_F(CacheUpkeep, site_map_retrieval_deletes_the_copy_and_ends_not_stored) {
  CHTMLAnchor* loc = Location("http://h/a.html", 2);
  Retrieve(loc, 2);
  CPageDescr* page = loc->m_pPage;
  const std::string path = Cache().PathOf(page->m_strLocalFile);
  ASSERT_TRUE(hv::fs::Exists(path));
  const int bytes = Agent().m_nByteCount;
  page->StartRetrieval(Cache(), loc, 0, nullptr, m_runStart);
  EXPECT_FALSE(hv::fs::Exists(path));
  EXPECT_EQ(Agent().m_nFileCount, 0);
  EXPECT_LT(Agent().m_nByteCount, bytes);
  page->EndRetrieval(Cache(), loc, 0, true, true, m_runStart);
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
}

TEST_F(CacheUpkeep, interrupted_retrieval_keeps_the_partial_copy_with_its_tail) {
  CHTMLAnchor* loc = Location("http://h/a.html", 2);
  CPageDescr* page = loc->m_pPage;
  page->StartRetrieval(Cache(), loc, 2, nullptr, m_runStart);
  hv::fs::WriteWholeFile(Cache().PathOf(page->m_strLocalFile), "<html>par", 9);
  EXPECT_TRUE(page->EndRetrieval(Cache(), loc, 2, false, true, m_runStart));
  EXPECT_EQ(page->m_nState, CPageDescr::kInterrupted);
  EXPECT_EQ(hv::fs::FileSize(Cache().PathOf(page->m_strLocalFile)), 9 + 37);
}

TEST_F(CacheUpkeep, totals_never_go_below_zero_and_are_posted) {
  m_ui->m_statistics.clear();
  Agent().AddFiles(2);
  Agent().AddBytes(100);
  Agent().AddBytes(-500);
  Agent().AddFiles(-5);
  EXPECT_EQ(Agent().m_nByteCount, 0);
  EXPECT_EQ(Agent().m_nFileCount, 0);
  ASSERT_EQ(m_ui->m_statistics.size(), 4u);
  EXPECT_EQ(m_ui->m_statistics[1], (std::pair<WPARAM, LPARAM>{2, 100}));
}

TEST_F(CacheUpkeep, size_limit_stops_only_a_draining_run) {
  int stops = 0;
  bool draining = false;
  Manager().m_runIsDraining = [&] { return draining; };
  Manager().m_stopRun = [&] { ++stops; };
  Agent().m_nSizeLimit = 1;  // one kilobyte
  Agent().AddBytes(2000);
  EXPECT_EQ(stops, 0);
  draining = true;
  Agent().AddBytes(-1000);  // 1000 bytes: under 1024
  EXPECT_EQ(stops, 0);
  Agent().AddBytes(24);     // exactly the limit
  EXPECT_EQ(stops, 1);
  Manager().m_runIsDraining = nullptr;
  Manager().m_stopRun = nullptr;
}

TEST_F(CacheUpkeep, garbage_collection_keeps_drops_and_rekeys_what_the_locations_use) {
  CHTMLAnchor* kept = Location("http://h/kept.html", 2);
  CHTMLAnchor* map = Location("http://h/map.html", 2);
  Retrieve(kept, 2);
  Retrieve(map, 2);
  // An address only linked from a kept page, one no longer known, and one nobody uses.
  CPageDescr* linked = Cache().FindOrCreate("http://h/linked.gif");
  Cache().AssignFileName("http://h/linked.gif", linked);
  linked->m_nState = CPageDescr::kStored;
  hv::fs::WriteWholeFile(Cache().PathOf(linked->m_strLocalFile), "GIF", 3);
  kept->m_pPage->m_links.push_back(std::make_unique<CPageChild>());
  kept->m_pPage->m_links.back()->m_strAddress = "http://h/linked.gif";
  kept->m_pPage->m_links.push_back(std::make_unique<CPageChild>());
  kept->m_pPage->m_links.back()->m_strAddress = "http://h/vanished.html";
  CPageDescr* orphan = Cache().FindOrCreate("http://h/orphan.html");
  Cache().AssignFileName("http://h/orphan.html", orphan);
  orphan->m_nState = CPageDescr::kStored;
  const std::string orphanPath = Cache().PathOf(orphan->m_strLocalFile);
  hv::fs::WriteWholeFile(orphanPath, "x", 1);
  kept->m_pPage->m_pStateChangedBy = orphan;  // must not dangle afterwards
  const std::string stray = Cache().PathOf("3Sffffff.html");
  hv::fs::WriteWholeFile(stray, "old", 3);

  const std::string mapFile = map->m_pPage->m_strLocalFile;
  map->m_nLoadDetail = 0;  // the location now keeps no copies
  CSafClient::GarbageCollect();

  CPageDescr* keptPage = kept->m_pPage;
  EXPECT_EQ(Cache().Find("http://h/kept.html"), keptPage);
  EXPECT_EQ(Cache().Find(keptPage->m_strLocalFile), keptPage);
  EXPECT_TRUE(keptPage->FileExists(Cache()));
  ASSERT_EQ(keptPage->m_links.size(), 1u);
  EXPECT_EQ(keptPage->m_links[0]->m_strAddress, "http://h/linked.gif");
  EXPECT_EQ(keptPage->m_pStateChangedBy, nullptr);

  // The site-map location's page loses its copy and its file-name key.
  EXPECT_EQ(Cache().Find("http://h/map.html"), map->m_pPage);
  EXPECT_EQ(Cache().Find(mapFile), nullptr);
  EXPECT_FALSE(hv::fs::Exists(Cache().PathOf(mapFile)));
  EXPECT_EQ(map->m_pPage->m_nState, CPageDescr::kNotStored);

  // Reached by a kept link: the record stays, but nothing keeps its copy.
  EXPECT_EQ(Cache().Find("http://h/linked.gif"), linked);
  EXPECT_EQ(linked->m_nState, CPageDescr::kNotStored);

  EXPECT_EQ(Cache().Find("http://h/orphan.html"), nullptr);
  EXPECT_FALSE(hv::fs::Exists(orphanPath));
  EXPECT_FALSE(hv::fs::Exists(stray));
  EXPECT_NE(Cache().Find("hvempty.gif"), nullptr);
  EXPECT_TRUE(hv::fs::Exists(Cache().PathOf("hvempty.gif")));
  // Totals were counted again from the folder: the index-less folder holds
  // the placeholder and the kept page.
  EXPECT_EQ(Agent().m_nFileCount, 2);
}

TEST_F(CacheUpkeep, clearing_empties_the_folder_and_finds_the_locations_again) {
  CHTMLAnchor* loc = Location("http://h/a.html", 2);
  Retrieve(loc, 2);
  const std::string oldFile = Cache().PathOf(loc->m_pPage->m_strLocalFile);
  CSafClient::ClearCache();
  EXPECT_FALSE(hv::fs::Exists(oldFile));
  ASSERT_NE(loc->m_pPage, nullptr);
  EXPECT_EQ(loc->m_pPage->m_strAddress, "http://h/a.html");
  EXPECT_EQ(loc->m_pPage->m_nState, CPageDescr::kNotStored);
  EXPECT_EQ(Cache().Find("http://h/a.html"), loc->m_pPage);
  EXPECT_EQ(Agent().m_children.size(), 1u);
  EXPECT_TRUE(hv::fs::Exists(Cache().PathOf("hvempty.gif")));
  EXPECT_EQ(Agent().m_nFileCount, 1);
}

TEST_F(CacheUpkeep, saving_the_agent_writes_the_index_and_reopening_collects) {
  CHTMLAnchor* loc = Location("http://h/a.html", 2);
  Retrieve(loc, 2);
  CPageDescr* orphan = Cache().FindOrCreate("http://h/orphan.html");
  ASSERT_NE(orphan, nullptr);
  CSafClient::SaveAgentFile();
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("Keeper/Harvion Cache.hvc")));
  CSafClient::DeleteAgent();

  ASSERT_EQ(CSafClient::LoadAgentFile("Keeper", 1), 1);
  CCache& cache = Cache();
  CPageDescr* page = cache.Find("http://h/a.html");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->m_nState, CPageDescr::kStored);
  EXPECT_EQ(cache.Find(page->m_strLocalFile), page);
  EXPECT_EQ(cache.Find("http://h/orphan.html"), nullptr);  // collected on load
  // Files: the page, the placeholder and the index itself.
  EXPECT_EQ(Agent().m_nFileCount, 3);
}

// A page the server no longer has keeps its record without a copy; its time
// of change stays the run's that dropped it.
TEST_F(CacheUpkeep, opening_and_collecting_an_unchanged_agent_changes_nothing) {
  Retrieve(Location("http://h/a.html", 2), 2);
  CHTMLAnchor* gone = Location("http://h/gone.html", 2);
  Retrieve(gone, 2);
  gone->m_pPage->DropFile(Cache(), nullptr);
  gone->m_pPage->m_tStateChanged = m_runStart;
  CSafClient::SaveAgentFile();
  CSafClient::DeleteAgent();
  ASSERT_EQ(CSafClient::LoadAgentFile("Keeper", 1), 1);  // collects once
  CSafClient::GarbageCollect();
  EXPECT_EQ(Agent().m_bCacheChanged, 0);
  EXPECT_EQ(Agent().m_bModified, 0);
  EXPECT_NE(Cache().Find("hvempty.gif"), nullptr);
  ASSERT_NE(Cache().Find("http://h/gone.html"), nullptr);
  EXPECT_EQ(Cache().Find("http://h/gone.html")->m_tStateChanged, m_runStart);
}

TEST_F(CacheUpkeep, changed_index_alone_is_saved_too) {
  CSafClient::SaveAgentFile();
  hv::fs::RemoveFile(Path("Keeper/Harvion Cache.hvc"));
  Agent().MarkCacheChanged();
  CSafClient::SaveAgentFile();
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("Keeper/Harvion Cache.hvc")));
  EXPECT_EQ(Agent().m_bCacheChanged, 0);
}

}  // namespace
