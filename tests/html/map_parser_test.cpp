// The parser of a retrieved page: the stored copies it writes (golden pages,
// fed whole and one byte at a time), what it tells the page's location, and
// pages built to cost time or memory.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "html/recording_owner.h"
#include "platform/files/temp_file.h"

namespace {

using hvtest::PageSite;
using Log = std::vector<std::string>;

// Targets stored in every site of these tests.
void StoreTargets(PageSite& site) {
  site.Store("http://host/dir/stored.html", "3S000002.html");
  site.Store("http://host/img/logo.gif", "3S000003.gif");
  site.Store("http://h/d/s.htm", "3S000004.html");
  site.Store("http://host/frame.html", "3S000005.html");
  site.Store("http://host/dir/part.html", "3S000006.html", CPageDescr::kInterrupted);
  site.Store("https://host/secure/stored.html", "3S000007.html");
  // Being retrieved for a site map: a record without a file.
  site.cache->FindOrCreate("http://host/dir/map.html")->m_nState = CPageDescr::kRetrieving;
}

std::string DataFile(const std::string& path) { return PageSite::ReadFile(std::string(HV_TEST_DATA_DIR) + "/" + path); }

std::vector<std::string> GoldenPages() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(HV_TEST_DATA_DIR) + "/html/input"))
    names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class MapParserGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(MapParserGolden, StoredCopyMatches) {
  const std::string input = DataFile("html/input/" + GetParam() + ".html");
  const std::string expected = DataFile("html/expected/" + GetParam() + ".html");
  for (std::size_t piece : {0, 1}) {
    SCOPED_TRACE(piece == 0 ? "whole" : "one byte at a time");
    PageSite site;
    StoreTargets(site);
    const PageSite::Mapped mapped = site.Map(input, piece);
    EXPECT_EQ(mapped.copy, expected);
    EXPECT_EQ(mapped.finished, 1);
    EXPECT_EQ(mapped.outstanding, 0u);
    EXPECT_EQ(site.page->m_bPlaceholderUsed, expected.find("hvempty.gif") != std::string::npos ? 1 : 0);
    // The new file and its bytes, as the disk has them.
    EXPECT_EQ(site.totals.files, 1);
    EXPECT_EQ(site.totals.bytes, static_cast<std::int64_t>(expected.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, MapParserGolden, ::testing::ValuesIn(GoldenPages()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

struct OwnerCase {
  std::string page;
  Log log;
};

TEST(MapParserOwner, LinksTitlesAndDeferredChildren) {
  const std::string dir = "http://host/dir/";
  const std::vector<OwnerCase> cases = {
      // References come in the page's encoding: UTF-8 unless its own bytes
      // are single ones (Latin-1); a reference Latin-1 cannot hold makes the
      // whole title UTF-8.
      {"<TITLE> Caf&eacute; &amp;\n Bar </TITLE>", {"title \"Caf\xc3\xa9 & Bar\""}},
      {"<TITLE>&#8364;&#233;</TITLE>", {"title \"\xe2\x82\xac\xc3\xa9\""}},
      {"<TITLE>Index &#8212; caf\xc3\xa9</TITLE>", {"title \"Index \xe2\x80\x94 caf\xc3\xa9\""}},
      {"<TITLE>Caf\xe9 &#8212; &eacute;</TITLE>", {"title \"Caf\xc3\xa9 \xe2\x80\x94 \xc3\xa9\""}},
      {"<TITLE>Caf\xe9 &eacute;</TITLE>", {"title \"Caf\xe9 \xe9\""}},
      {"<TITLE>Tom&#x27;s &#x263A;</TITLE>", {"title \"Tom's \xe2\x98\xba\""}},
      {"<A HREF=x.html>Some <B>bold</B>\n text</A>",
       {"add 0 " + dir + "x.html deferred", "complete " + dir + "x.html \"Some bold text\""}},
      {"<A HREF=e.html><IMG SRC=i.gif></A>",
       {"add 0 " + dir + "e.html deferred", "add 1 " + dir + "i.gif", "complete " + dir + "e.html \"\""}},
      {"<A HREF=a><IMG ISMAP SRC=m.gif></A>",
       {"add 0 " + dir + "a deferred", "release " + dir + "a", "add 1 " + dir + "m.gif"}},
      {"<A HREF=1>one<A HREF=2>two</A></A>",
       {"add 0 " + dir + "1 deferred", "release " + dir + "1", "add 0 " + dir + "2 deferred",
        "complete " + dir + "2 \"two\""}},
      {"<A HREF=open.html>never closed", {"add 0 " + dir + "open.html deferred", "release " + dir + "open.html"}},
      // Line breaks inside an address are dropped, blanks around it too.
      {"<A HREF=\" lo\nng.html\t\">t</A>",
       {"add 0 " + dir + "long.html deferred", "complete " + dir + "long.html \"t\""}},
      // Backslashes are slashes and a form feed stays, wherever they are.
      {"<IMG SRC=\"sub\\dir\\deeper\\pic.gif\"><IMG SRC=\"a/rather/long/name\fx.gif\">",
       {"add 1 " + dir + "sub/dir/deeper/pic.gif", "add 1 " + dir + "a/rather/long/name\fx.gif"}},
      {"<A HREF=\"mailto:x@y\">mail</A><A NAME=n>anchor</A><A HREF=\"\">empty</A><IMG ISMAP>", {}},
      // The same link before and after a BASE names two addresses.
      {"<AREA HREF=m.html><FRAME SRC=f.html><BODY BACKGROUND=b.gif><INPUT SRC=i.gif><META URL=u.gif>"
       "<FORM ACTION=f.cgi><IMG SRC=o.gif><BASE HREF=\"http://other/\"><IMG SRC=o.gif>",
       {"add 0 " + dir + "m.html", "add 2 " + dir + "f.html", "add 1 " + dir + "b.gif", "add 1 " + dir + "i.gif",
        "add 1 " + dir + "u.gif", "add 1 " + dir + "o.gif", "add 1 http://other/o.gif"}},
      {"<A HREF=\"HTTPS://Sec:443/a\">s</A><BASE HREF=\"https://other/d/\"><IMG SRC=o.gif><IMG SRC=\"//cdn/i\">",
       {"add 0 HTTPS://sec/a deferred", "complete HTTPS://sec/a \"s\"", "add 1 https://other/d/o.gif",
        "add 1 https://cdn/i"}},
      // A STYLE element's imports are stylesheets, its url()s and those of
      // style attributes media; the text of a link around one is not its CSS.
      {"<A HREF=l.html>x<STYLE>@import 'a.css'; b{c:url(d.png)}</STYLE>y</A><BASE HREF=\"http://other/\">"
       "<P STYLE='h:url(i.png)'><STYLE>e{f:url(g.png)}",
       {"add 0 " + dir + "l.html deferred", "add 3 " + dir + "a.css", "add 4 " + dir + "d.png",
        "complete " + dir + "l.html \"xy\"", "add 4 http://other/i.png", "add 4 http://other/g.png"}},
  };
  for (const OwnerCase& c : cases) {
    SCOPED_TRACE(c.page);
    PageSite site;
    const PageSite::Mapped mapped = site.Map(c.page);
    EXPECT_EQ(mapped.log, c.log);
    EXPECT_EQ(mapped.outstanding, 0u);
    EXPECT_EQ(site.Map(c.page, 1).log, c.log);
  }
}

TEST(MapParserOwner, ReadOnlyKeepsTitleAndLinkTextsOnTheRecord) {
  PageSite site;
  StoreTargets(site);
  const PageSite::Mapped mapped =
      site.Map("<TITLE>Home</TITLE><A HREF=stored.html> First\n</A><A HREF=b.html><IMG SRC=b.gif></A>", 0, true);
  EXPECT_EQ(site.page->m_strTitle, "Home");
  Log links;
  for (const auto& link : site.page->m_links)
    links.push_back(std::to_string(link->m_nLinkType) + " " + link->m_strAddress.str() + " \"" + link->m_strTitle.str() + "\"");
  EXPECT_EQ(links, (Log{"0 http://host/dir/stored.html \"First\"", "0 http://host/dir/b.html \"\"",
                        "1 http://host/dir/b.gif \"\""}));
  // Nothing written, nothing counted.
  EXPECT_EQ(mapped.finished, 0);
  EXPECT_EQ(mapped.copy, "(no file)");
  EXPECT_EQ(site.page->m_bPlaceholderUsed, 0);
  EXPECT_EQ(site.totals.files, 0);
}

// Pages that would cost time or memory without end if anything grew with
// them; each must go through quickly.
TEST(MapParserLimits, HugeAndDeepPages) {
  const auto started = std::chrono::steady_clock::now();
  const std::string megabyte(1 << 20, 'a');
  const std::string x = "<A HREF=\"http://host/dir/x\">";
  std::string nested;
  for (int i = 0; i < 10000; ++i) nested += "<A HREF=x>";
  std::string open;
  while (open.size() < (1u << 20)) open += "<p <a href=x ";

  struct LimitCase {
    std::string name, page, copy;
    std::size_t logLines;
  };
  std::string deepCopy;
  for (int i = 0; i < 10000; ++i) deepCopy += x;
  const std::vector<LimitCase> cases = {
      {"unclosed attribute", "<A HREF=\"" + megabyte, "<A HREF=\"" + megabyte, 0},
      {"no tag ever ends", open, open, 0},
      {"nested links", nested, deepCopy, 20000},
      {"one long link text", "<A HREF=x>" + megabyte + "</A>", x + megabyte + "</A>", 2},
      // Longer than what waits in memory for the next buffer.
      {"one long tag", "<A HREF=x " + megabyte + ">t</A>", "<A HREF=\"http://host/dir/x\" " + megabyte + ">t</A>", 2},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    PageSite site;
    const PageSite::Mapped mapped = site.Map(c.page, 4096);
    EXPECT_EQ(mapped.finished, 1);
    EXPECT_TRUE(mapped.copy == c.copy) << "copy of " << mapped.copy.size() << " bytes";
    EXPECT_EQ(mapped.log.size(), c.logLines);
    EXPECT_EQ(mapped.outstanding, 0u);
  }
  PageSite site;
  const PageSite::Mapped mapped = site.Map("<A HREF=x>" + megabyte + "</A>");
  ASSERT_EQ(mapped.log.size(), 2u);
  EXPECT_EQ(mapped.log[1], "complete http://host/dir/x \"" + megabyte.substr(0, CMapParser::kMaxText) + "\"");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

}  // namespace

namespace {

// Makes writes past the given size fail (EFBIG) while it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    const rlimit limit{bytes, m_old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_handler);
  }

 private:
  rlimit m_old{};
  void (*m_handler)(int);
};

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The page's old copy is what its name shows until the new one is complete;
// a new copy that is not (a failed write, a parser dropped unfinished)
// leaves nothing behind.
TEST(MapParserFiles, OldCopyStaysWholeUntilTheNewOneIsFinished) {
  enum class End { kFinish, kWriteFails, kDropped };
  struct Case {
    const char* name;
    End end;
    bool replaced;
  };
  const std::string input = "<P>" + std::string(200000, 'x');
  const std::string old = "<P>old copy";
  for (const Case& c : {Case{"finished", End::kFinish, true}, Case{"a write fails", End::kWriteFails, false},
                        Case{"never finished", End::kDropped, false}}) {
    SCOPED_TRACE(c.name);
    PageSite site;
    const std::string path = site.cache->PathOf(site.page->m_strLocalFile);
    hv::fs::WriteWholeFile(path, old.data(), old.size());
    site.totals.files = 1;
    site.totals.bytes = static_cast<std::int64_t>(old.size());
    {
      hvtest::RecordingOwner owner(*site.cache, site.page);
      CMapParser parser(*site.cache, &owner, false);
      {
        std::optional<FileSizeLimit> limit;
        if (c.end == End::kWriteFails) limit.emplace(65536);
        parser.Parse(input.data(), input.size());
      }
      EXPECT_EQ(site.ReadPage(), old) << "while the page is parsed";
      if (c.end != End::kDropped) {
        EXPECT_EQ(parser.Finish(), c.replaced ? 1 : 0);
      }
    }
    EXPECT_EQ(site.ReadPage(), c.replaced ? input : old);
    if (c.replaced) {
      // The displaced old copy waits to be written over by the next page.
      EXPECT_EQ(FilesIn(site.dir).size(), 3u);
      hv::fs::ReleaseSpareFiles();
    }
    EXPECT_EQ(FilesIn(site.dir), std::vector<std::string>({"3S000001.html", "hvempty.gif"}));
    EXPECT_EQ(site.totals.files, 1);
    EXPECT_EQ(site.totals.bytes, static_cast<std::int64_t>(c.replaced ? input.size() : old.size()));
  }
}

}  // namespace
