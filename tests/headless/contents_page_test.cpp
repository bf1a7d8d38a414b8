// The contents page from a tree and an index made up here: what each item
// links to, how page text is escaped and bounded, and which mark it gets.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/headless/contents_page.h"
#include "support/test_home.h"

namespace {

using harvion::ContentsItem;
using harvion::ContentsKind;

class ContentsPageTest : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_folder = Path("Agent");
    std::filesystem::create_directories(m_folder);
    std::ofstream(m_folder + "/3S000001.html") << "stored";
    std::ofstream(m_folder + "/3S00000a.html") << "stored";
  }

  static HvCacheRecord Record(const std::string& address, int state, const std::string& file,
                              const std::string& title = {}, int status = 200) {
    HvCacheRecord record;
    record.address = address;
    record.state = state;
    record.localFile = file;
    record.title = title;
    record.statusCode = status;
    record.lastRetrievalEnd = record.storedAt = 1'700'000'000;
    return record;
  }

  // The page of an agent holding the one item, as a string.
  std::string PageOf(const ContentsItem& item, const std::vector<HvCacheRecord>& records,
                     const harvion::ChangeReport* run = nullptr) {
    harvion::ContentsPage page(m_folder, harvion::ContentsIndex::Of(records), run);
    EXPECT_TRUE(page.Begin("Agent")) << page.Error();
    page.Enter({ContentsKind::agent, "Agent", ""});
    page.Enter(item);
    page.Leave();
    page.Leave();
    EXPECT_TRUE(page.Finish()) << page.Error();
    std::ifstream in(page.Path(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string m_folder;
};

TEST_F(ContentsPageTest, each_page_links_to_its_copy_else_to_a_web_address_only) {
  const struct {
    const char* address;
    int state;
    const char* file;
    const char* link;  // the item's href; empty: none at all
  } cases[] = {
      {"http://h.example/a", 3, "3S000001.html", "href=\"./3S000001.html\""},
      {"http://h.example/b", 0, "3S00000a.html", "href=\"http://h.example/b\""},  // not stored: the address
      {"http://h.example/c", 3, "3S0000ff.html", "href=\"http://h.example/c\""},  // its file is gone
      {"http://h.example/d", 3, "../3S000001.html", "href=\"http://h.example/d\""},
      {"HTTPS://h.example/q?a=1&b=\"x\" <y>", 0, "", "href=\"HTTPS://h.example/q?a=1&amp;b=%22x%22%20%3Cy%3E\""},
      {"javascript:alert(1)", 3, "", ""},
      {"file:///etc/passwd", 0, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    const std::string page = PageOf({ContentsKind::page, "name", c.address}, {Record(c.address, c.state, c.file)});
    const std::size_t item = page.find("<li class=\"page\">");
    ASSERT_NE(item, std::string::npos);
    const std::string line = page.substr(item, page.find('\n', item) - item);
    if (*c.link)
      EXPECT_NE(line.find(std::string("class=\"title\" ") + c.link), std::string::npos) << line;
    else
      EXPECT_EQ(line.find("href="), std::string::npos) << line;
  }
}

TEST_F(ContentsPageTest, page_text_is_escaped_and_bounded) {
  const std::string huge(10'000'000, 'w');
  const struct {
    std::string title;
    std::string shown;  // must be in the page
  } cases[] = {
      {"<script>alert('x')</script>&amp;", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;amp;"},
      {"Caf\xe9 \"cr\xe8me\"", "Caf\xc3\xa9 &quot;cr\xc3\xa8me&quot;"},  // Latin-1 comes out as UTF-8
      {"tab\there\x1b[31m", "tab\\x09here\\x1B[31m"},
      {huge, std::string(290, 'w')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown.substr(0, 40));
    const std::string page =
        PageOf({ContentsKind::page, "", "http://h.example/"},
               {Record("http://h.example/", 3, "3S000001.html", c.title)});
    EXPECT_NE(page.find(c.shown), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_LT(page.size(), 8000u);
  }
}

TEST_F(ContentsPageTest, marks_come_from_the_run_else_from_the_index) {
  harvion::ChangeReport run;
  const auto changed = [](const char* address, int status, const char* text, int state) {
    harvion::ChangedPage page;
    page.address = address, page.statusCode = status, page.statusText = text, page.state = state;
    return page;
  };
  run.added.push_back(changed("http://h.example/new", 200, "OK", 3));
  run.failed.push_back(changed("http://h.example/failed", 503, "Busy <now>", 0));
  const struct {
    const char* address;
    const harvion::ChangeReport* run;
    HvCacheRecord record;
    const char* mark;  // empty: none
  } cases[] = {
      {"http://h.example/new", &run, Record("http://h.example/new", 3, "3S000001.html"), "new</span>"},
      {"http://h.example/failed", &run, Record("http://h.example/failed", 0, "", "", 503),
       "failed</span> <span class=\"why\">503 Busy &lt;now&gt;</span>"},
      {"http://h.example/same", &run, Record("http://h.example/same", 3, "3S000001.html"), ""},
      {"http://h.example/404", nullptr, Record("http://h.example/404", 0, "", "", 404),
       "failed</span> <span class=\"why\">404</span>"},
      {"http://h.example/never", nullptr, HvCacheRecord{}, "not retrieved</span>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    const std::string page = PageOf({ContentsKind::location, "", c.address}, {c.record}, c.run);
    const std::size_t item = page.find("<li class=\"location\">");
    const std::string line = page.substr(item, page.find('\n', item) - item);
    if (*c.mark)
      EXPECT_NE(line.find(c.mark), std::string::npos) << line;
    else
      EXPECT_EQ(line.find("class=\"mark"), std::string::npos) << line;
  }
}

TEST_F(ContentsPageTest, a_deep_tree_nests_within_bounds_and_a_failed_write_keeps_the_old_page) {
  harvion::ContentsPage page(m_folder, harvion::ContentsIndex::Of({}), nullptr);
  ASSERT_TRUE(page.Begin("Deep"));
  for (int i = 0; i < 1000; ++i) page.Enter({ContentsKind::folder, "f" + std::to_string(i), ""});
  for (int i = 0; i < 1000; ++i) page.Leave();
  ASSERT_TRUE(page.Finish());
  std::ifstream in(page.Path());
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::size_t open = 0, close = 0, depth = 0, deepest = 0;
  for (std::size_t at = 0; (at = text.find("<ul", at)) != std::string::npos; ++at) ++open;
  for (std::size_t at = 0; (at = text.find("</ul>", at)) != std::string::npos; ++at) ++close;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text.compare(at, 3, "<ul") == 0) deepest = std::max(deepest, ++depth);
    if (text.compare(at, 5, "</ul>") == 0) --depth;
  }
  EXPECT_EQ(open, close);
  EXPECT_LE(deepest, 65u);
  EXPECT_NE(text.find("<b>f999</b>"), std::string::npos);

  // The part file cannot be made: the old page stays.
  std::filesystem::create_directory(m_folder + "/.contents.html.part");
  harvion::ContentsPage failing(m_folder, harvion::ContentsIndex::Of({}), nullptr);
  EXPECT_FALSE(failing.Begin("Deep"));
  EXPECT_FALSE(failing.Error().empty());
  std::ifstream again(page.Path());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()), text);
}

}  // namespace
