// Stylesheets in a run against nginx: a page's stylesheet, the one it
// imports (which imports the first again) and what their url()s name are
// fetched once each and stored pointing at one another, as are the
// references of the page's STYLE element and style attributes; a picture
// gone from the server later leaves the stylesheet naming its address.
#include "retrieval/end_to_end.h"

namespace {

using namespace hvtest::e2e;

class Stylesheets : public RetrievalEndToEnd {
 protected:
  void WriteSite() {
    m_site->Write("index.html",
                  "<HTML><HEAD><TITLE>Styled</TITLE><LINK REL=\"stylesheet\" HREF=\"css/site.css\">\n"
                  "<STYLE>p{background:url(img/inline.gif)}</STYLE></HEAD>\n"
                  "<BODY><DIV STYLE=\"background:url('img/attr.gif')\">x</DIV></BODY></HTML>\n");
    m_site->Write("css/site.css",
                  "@import \"base.css\";\nbody{background:url(../img/bg.gif)}\n"
                  "@font-face{font-family:f;src:url( '../fonts/f.woff2' ) format(\"woff2\")}\n");
    m_site->Write("css/base.css", "@import url(site.css);\nh1{background:url(\"/img/h.gif\")}\n");
    for (const char* gif : {"img/inline.gif", "img/attr.gif", "img/bg.gif", "img/h.gif"})
      m_site->Write(gif, SiteBuilder::Gif());
    m_site->Write("fonts/f.woff2", "wOF2 not really a font");
  }
  // The stored file's name of the path's record.
  std::string Local(const std::map<std::string, HvCacheRecord>& records, const std::string& path) const {
    const auto it = records.find(Url(path));
    return it == records.end() ? "(no record for " + path + ")" : it->second.localFile;
  }
};

TEST_F(Stylesheets, stored_stylesheets_point_at_stored_files_and_follow_them) {
  WriteSite();
  Serve();
  CSafNode* location = AddLocation(NewAgent("Styled"), "Site", "index.html",
                                   CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 1,
                                                            CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 0, 0));
  ASSERT_NE(location, nullptr);
  ASSERT_TRUE(RunAndWait(location));

  auto records = Records();
  for (const char* path : {"css/site.css", "css/base.css", "img/inline.gif", "img/attr.gif", "img/bg.gif",
                           "img/h.gif", "fonts/f.woff2"}) {
    EXPECT_TRUE(Stored(records, path)) << path;
    EXPECT_EQ(CountRequests(Requests(), path), 1) << path;
  }
  const auto text = [&](const std::string& path) { return ReadAll(StoredPath(records.at(Url(path)))); };
  EXPECT_EQ(text("css/site.css"), "@import \"" + Local(records, "css/base.css") + "\";\nbody{background:url(\"" +
                                      Local(records, "img/bg.gif") +
                                      "\")}\n@font-face{font-family:f;src:url( \"" +
                                      Local(records, "fonts/f.woff2") + "\" ) format(\"woff2\")}\n");
  EXPECT_EQ(text("css/base.css"), "@import url(\"" + Local(records, "css/site.css") + "\");\nh1{background:url(\"" +
                                      Local(records, "img/h.gif") + "\")}\n");
  const std::string page = text("index.html");
  EXPECT_NE(page.find("p{background:url(\"" + Local(records, "img/inline.gif") + "\")}"), std::string::npos) << page;
  EXPECT_NE(page.find("STYLE=\"background:url('" + Local(records, "img/attr.gif") + "')\""), std::string::npos)
      << page;

  // The picture goes: the next run drops its copy, and the stylesheet,
  // unchanged on the server, names its address again.
  ASSERT_TRUE(m_site->Remove("img/bg.gif"));
  ASSERT_TRUE(RunAndWait(location));
  records = Records();
  EXPECT_FALSE(Stored(records, "img/bg.gif"));
  EXPECT_NE(text("css/site.css").find("body{background:url(\"" + Url("img/bg.gif") + "\")}"), std::string::npos)
      << text("css/site.css");
  EXPECT_NE(text("css/site.css").find(Local(records, "fonts/f.woff2")), std::string::npos);
}

// What a page links to as a page may be no page: a stylesheet added as a
// location is read as CSS, and a text file or a document that holds markup
// is stored as it came, its "links" neither followed nor rewritten.
TEST_F(Stylesheets, a_location_is_read_by_the_kind_of_its_answer) {
  WriteSite();
  const std::string markup = "see <a href=\"other.html\">other</a> <img src=\"img/h.gif\"> <<BASE HREF=x>b>\n";
  m_site->Write("list.html", "<A HREF=\"notes.txt\">notes</A> <A HREF=\"doc.pdf\">doc</A> <A HREF=img/bg.gif>bg</A>\n");
  m_site->Write("notes.txt", markup);
  m_site->Write("doc.pdf", "%PDF-1.4 " + markup);
  m_site->Write("other.html", "<P>other</P>\n");
  Serve();
  CSafNode* agent = NewAgent("Kinds");
  const unsigned long all = CSafClient::PackLoadInfo(CUINode::ldAllFiles, CUINode::ltWithinSite, 2,
                                                     CUINode::ldAllFiles, CUINode::ltWithinSite, 0, 0);
  CSafNode* sheet = AddLocation(agent, "Sheet", "css/site.css", all);
  CSafNode* list = AddLocation(agent, "List", "list.html", all);
  ASSERT_NE(sheet, nullptr);
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(RunAndWait(sheet));
  ASSERT_TRUE(RunAndWait(list));

  const auto records = Records();
  const auto text = [&](const std::string& path) { return ReadAll(StoredPath(records.at(Url(path)))); };
  EXPECT_EQ(text("css/site.css").find("url(../img/bg.gif)"), std::string::npos) << text("css/site.css");
  EXPECT_NE(text("css/site.css").find(Local(records, "img/bg.gif")), std::string::npos) << text("css/site.css");
  EXPECT_TRUE(Stored(records, "css/base.css"));
  EXPECT_TRUE(Stored(records, "fonts/f.woff2"));
  EXPECT_EQ(text("notes.txt"), markup);
  EXPECT_EQ(text("doc.pdf"), "%PDF-1.4 " + markup);
  EXPECT_EQ(text("img/bg.gif"), SiteBuilder::Gif());
  EXPECT_EQ(CountRequests(Requests(), "other.html"), 0);
}

}  // namespace
