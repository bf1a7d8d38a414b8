// A second run of an agent over what the first stored: more levels, dropped
// links, an unchanged tree, a search answered by a held page.
#include "retrieval/end_to_end.h"

namespace {

using namespace hvtest::e2e;

// One location whose page is read at each run; after the runs the agent is
// saved and opened again, as the next program to use it would find it.
class LaterRun : public RetrievalEndToEnd {
 protected:
  void MakeAgent(const std::string& path, int levels) {
    m_agent = NewAgent("Next");
    ASSERT_NE(m_agent, nullptr);
    m_location = AddLocation(m_agent, "Start", path,
                             CSafClient::PackLoadInfo(CUINode::ldTextOnly, CUINode::ltWithinSite, levels,
                                                      CUINode::ldTextOnly, CUINode::ltWithinSite, 0, 0));
  }
  void Reopen() {
    CSafClient::SaveAgentFile();
    CAgentManager::Instance().Close(false);
    ASSERT_EQ(CSafClient::LoadAgentFile("Next", 1), 1);
    m_agent = Agent()->m_pNode;
    ASSERT_GE(Agent()->GetChildCount(), 1);
    m_location = Agent()->GetChild(0)->m_pNode;
  }

  CSafNode* m_agent = nullptr;
  CSafNode* m_location = nullptr;
};

// The pages behind the last level are followed once a run grants more
// levels, though every page read before answers "not modified".
TEST_F(LaterRun, more_levels_reach_further) {
  m_site->WritePage("lv/index.html", Page("Index", {"a.html"}));
  m_site->WritePage("lv/a.html", Page("A", {"b.html"}));
  m_site->WritePage("lv/b.html", Page("B", {"c.html"}));
  m_site->WritePage("lv/c.html", Page("C"));
  Serve();
  MakeAgent("lv/index.html", 1);
  ASSERT_TRUE(RunAndWait(m_agent));
  ASSERT_EQ(CountRequests(Requests(), "lv/b.html"), 0);
  Reopen();
  ASSERT_EQ(m_location->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(CUINode::ldTextOnly, CUINode::ltWithinSite,
                                                                        127, CUINode::ldTextOnly,
                                                                        CUINode::ltWithinSite, 0, 0)),
            1);
  const std::size_t first = m_nginx->AccessLog().size();
  ASSERT_TRUE(RunAndWait(m_agent));
  const auto requests = Requests(first);
  EXPECT_EQ(CountRequests(requests, "lv/a.html", "304"), 1);
  EXPECT_EQ(CountRequests(requests, "lv/b.html", "200"), 1);
  EXPECT_EQ(CountRequests(requests, "lv/c.html", "200"), 1);
}

// A link the page no longer has leaves the agent file with its item, so
// the collection after the next open drops its record and copy.
TEST_F(LaterRun, links_a_page_dropped_leave_the_agent_file) {
  m_site->WritePage("gone/index.html", Page("Index", {"dropped.html"}));
  m_site->WritePage("gone/dropped.html", Page("Dropped"));
  Serve();
  MakeAgent("gone/index.html", 1);
  ASSERT_TRUE(RunAndWait(m_agent));
  Reopen();
  ASSERT_TRUE(Stored(Records(), "gone/dropped.html"));
  m_site->m_tDate = std::time(nullptr) + 60;
  m_site->WritePage("gone/index.html", Page("Index"));
  ASSERT_TRUE(RunAndWait(m_agent));
  Reopen();
  EXPECT_EQ(Agent()->GetChild(0)->GetChildCount(), 0);
  const auto records = Records();
  EXPECT_TRUE(Stored(records, "gone/index.html"));
  EXPECT_EQ(records.count(Url("gone/dropped.html")), 0u);
}

// A run that adds no item still changed the index: saving keeps its copies.
TEST_F(LaterRun, a_run_that_changes_no_item_saves_its_index) {
  m_site->WritePage("alone.html", Page("Alone"));
  Serve();
  MakeAgent("alone.html", 0);
  CSafClient::SaveAgentFile();
  ASSERT_TRUE(RunAndWait(m_agent));
  Reopen();
  EXPECT_TRUE(Stored(Records(), "alone.html"));
}

// A search engine whose answer is sent on to a page the agent holds: that
// page keeps its record and its copy at every run, and the search engine's
// location keeps its template through saving and opening (the agent file is
// written after each run, for the held page's link is new or read again).
TEST_F(LaterRun, a_search_sent_to_a_held_page_leaves_that_page_alone) {
  m_site->WritePage("held.html", Page("Held", {"next.html"}));
  m_site->WritePage("next.html", Page("Next"));
  Serve("    location = /find { return 302 /held.html; }\n");
  CNamedArray engines;
  engines.Add(std::make_unique<C3StringEntry>("Finder", Url("find"), "q=%KEY"));
  ASSERT_TRUE(hv::settings::SaveSearchEngines(engines));
  MakeAgent("held.html", 1);
  ASSERT_NE(CSafClient::CreateSearchCategoryNode(m_agent, "word", 0), nullptr);
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ASSERT_TRUE(RunAndWait(m_agent));
    if (run == 2) Reopen();  // the first two runs in one session, the third after opening again
    ASSERT_EQ(Agent()->GetChildCount(), 2);
    ASSERT_EQ(Agent()->GetChild(1)->GetChildCount(), 1);
    EXPECT_EQ(Agent()->GetChild(1)->GetChild(0)->GetPageUrl(), Url("find?q=%KEY"));
    EXPECT_EQ(Agent()->GetChild(0)->GetPageUrl(), Url("held.html"));
    EXPECT_TRUE(Stored(Records(), "held.html"));
  }
}

}  // namespace
