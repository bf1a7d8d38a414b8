// What a stored page needs besides itself: which of its requisites a run
// fetches by the file-type strategy, and from which servers, with a second
// host (127.0.0.2) standing for a content delivery server.
#include "retrieval/end_to_end.h"

namespace {

using namespace hvtest::e2e;

class Requisites : public RetrievalEndToEnd {
 protected:
  void SetUp() override {
    RetrievalEndToEnd::SetUp();
    if (IsSkipped()) return;
    m_cdnServer = std::make_unique<NginxServer>();
    m_cdn = std::make_unique<SiteBuilder>(m_cdnServer->Path("cdn"));
    m_cdn->m_tDate = m_site->m_tDate;
  }
  void TearDown() override {
    if (m_cdnServer) m_cdnServer->Stop();
    RetrievalEndToEnd::TearDown();
  }
  void ServeBoth() {
    Serve();
    NginxServer::Options options;
    options.root = m_cdn->Root();
    options.accessLog = true;
    options.address = "127.0.0.2";
    ASSERT_TRUE(m_cdnServer->Start(options)) << m_cdnServer->Messages();
  }
  std::string Cdn(const std::string& path) const { return m_cdnServer->BaseUrl() + path; }
  std::vector<std::string> CdnRequests() const { return m_cdnServer->AccessLog(); }

  CSafNode* MakeAgent(int loadDetail, int levels) {
    CSafNode* agent = NewAgent("Needs");
    if (!agent) return nullptr;
    return AddLocation(agent, "Site", "index.html",
                       CSafClient::PackLoadInfo(loadDetail, CUINode::ltWithinSite, levels, loadDetail,
                                                CUINode::ltWithinSite, 0, 0));
  }

  std::unique_ptr<NginxServer> m_cdnServer;
  std::unique_ptr<SiteBuilder> m_cdn;
};

// With the choice made, the run takes the stylesheets, scripts and images
// the pages show from the other host (and the stylesheet's font), also for
// a page at the last level, but follows no link there.
TEST_F(Requisites, any_server_brings_what_pages_show_but_no_page_from_there) {
  ServeBoth();
  const std::string needs = "<LINK REL=stylesheet HREF=\"" + Cdn("s.css") + "\"><SCRIPT SRC=\"" + Cdn("app.js") +
                            "\"></SCRIPT>";
  m_site->WritePage("index.html",
                    Page("Index", {"a.html", Cdn("page.html")}, {Cdn("pic.gif"), "local.gif"}, needs));
  m_site->WritePage("a.html", Page("A", {"b.html"}, {Cdn("deep.gif")}));
  m_site->WritePage("b.html", Page("B"));
  m_site->Write("local.gif", SiteBuilder::Gif());
  m_cdn->WritePage("page.html", Page("Elsewhere", {}, {"inner.gif"}));
  m_cdn->Write("s.css", "@font-face { font-family: F; src: url(f.woff2) }");
  m_cdn->Write("app.js", "var ran = true;");
  m_cdn->Write("f.woff2", "wOF2 not really a font");
  for (const char* gif : {"pic.gif", "deep.gif", "inner.gif"}) m_cdn->Write(gif, SiteBuilder::Gif());
  CSafNode* location = MakeAgent(CUINode::ldTextAndGraphics, 1);
  ASSERT_NE(location, nullptr);

  ASSERT_TRUE(RunAndWait(location));
  EXPECT_TRUE(Stored(Records(), "local.gif"));
  EXPECT_EQ(CdnRequests().size(), 0u) << "the strategy alone keeps to the site";

  ASSERT_EQ(location->SetValue(itemRequisites, CUINode::rqAnyServer), 1);
  ASSERT_TRUE(RunAndWait(location));
  const auto cdn = CdnRequests();
  EXPECT_EQ(CountRequests(cdn, "pic.gif", "200"), 1);
  EXPECT_EQ(CountRequests(cdn, "deep.gif", "200"), 1) << "a page at the last level still shows its images";
  for (const char* needed : {"s.css", "app.js", "f.woff2"}) EXPECT_EQ(CountRequests(cdn, needed, "200"), 1) << needed;
  EXPECT_EQ(CountRequests(cdn, "page.html"), 0);
  EXPECT_EQ(CountRequests(cdn, "inner.gif"), 0);
  EXPECT_EQ(CountRequests(Requests(), "b.html"), 0);
  const auto records = Records();
  for (const char* gif : {"pic.gif", "deep.gif"}) {
    SCOPED_TRACE(gif);
    const auto it = records.find(Cdn(gif));
    ASSERT_NE(it, records.end());
    EXPECT_EQ(it->second.state, 3);
    EXPECT_EQ(ReadAll(StoredPath(it->second)), SiteBuilder::Gif());
  }
  const std::string index = ReadAll(StoredPath(records.at(Url("index.html"))));
  EXPECT_EQ(index.find(Cdn("pic.gif")), std::string::npos) << "the stored page shows the stored image";
  ExpectLinksResolve();
}

// Text only keeps what the page cannot be read without: stylesheets and
// scripts (whatever type the server gives a script), not pictures or fonts.
TEST_F(Requisites, text_only_keeps_stylesheets_and_scripts) {
  m_site->WritePage("index.html", Page("Index", {}, {"pic.gif"},
                                       "<LINK REL=stylesheet HREF=\"s.css\"><SCRIPT SRC=\"app.js\"></SCRIPT>"
                                       "<LINK REL=icon HREF=\"icon.gif\"><LINK REL=preload AS=font HREF=\"f.woff2\">"));
  m_site->Write("s.css", "@import url(more.css); @font-face { font-family: F; src: url(f.woff2) }");
  m_site->Write("more.css", "body { background: url(bg.gif) }");
  m_site->Write("app.js", "var ran = true;");
  for (const char* gif : {"pic.gif", "icon.gif", "bg.gif"}) m_site->Write(gif, SiteBuilder::Gif());
  m_site->Write("f.woff2", "wOF2 not really a font");
  Serve();
  CSafNode* location = MakeAgent(CUINode::ldTextOnly, 0);
  ASSERT_NE(location, nullptr);
  ASSERT_TRUE(RunAndWait(location));
  const auto requests = Requests();
  const auto records = Records();
  for (const char* kept : {"s.css", "more.css", "app.js"}) {
    SCOPED_TRACE(kept);
    EXPECT_EQ(CountRequests(requests, kept, "200"), 1);
    EXPECT_TRUE(Stored(records, kept));
  }
  for (const char* left : {"pic.gif", "icon.gif", "bg.gif", "f.woff2"}) EXPECT_EQ(CountRequests(requests, left), 0) << left;
  // Not stored, a font keeps its address in the stylesheet: no placeholder picture.
  EXPECT_NE(ReadAll(StoredPath(records.at(Url("s.css")))).find(Url("f.woff2")), std::string::npos);
}

}  // namespace
