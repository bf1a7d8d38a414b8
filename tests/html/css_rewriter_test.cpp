// Stored stylesheets: the references handed to the location as links of
// their kind and the copy written byte for byte, whole and in pieces; and
// the copy written anew when its targets came or went.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/html/css_rewriter.h"
#include "html/recording_owner.h"

namespace {

using hvtest::PageSite;

// A stylesheet at http://host/css/site.css, stored as 3S000005.css, beside
// the page of PageSite, with a stored stylesheet and font it names.
class StoredStylesheet : public ::testing::Test {
 protected:
  void SetUp() override {
    sheet = site.Store("http://host/css/site.css", "3S000005.css", CPageDescr::kRetrieving);
    sheet->m_strContentType = "text/css; charset=utf-8";
    site.Store("http://host/css/base.css", "3S000006.css");
    site.Store("http://host/fonts/f.woff2", "3S000007.woff2");
  }

  struct Rewritten {
    std::string copy;
    std::vector<std::string> log;
  };
  Rewritten Rewrite(const std::string& css, std::size_t piece) {
    hvtest::RecordingOwner owner(*site.cache, sheet);
    CCssRewriter rewriter(*site.cache, sheet, &owner);
    EXPECT_TRUE(rewriter.OpenFiles());
    for (std::size_t at = 0; at < css.size(); at += piece)
      rewriter.Parse(css.data() + at, std::min(piece, css.size() - at));
    EXPECT_EQ(rewriter.Finish(), 1);
    return {PageSite::ReadFile(site.cache->PathOf(sheet->m_strLocalFile)), owner.log};
  }

  PageSite site;
  CPageDescr* sheet = nullptr;
};

TEST_F(StoredStylesheet, references_become_links_and_point_at_stored_files) {
  struct Case {
    const char* css;
    const char* copy;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"@import \"base.css\";\nbody{background:url(img/bg.png) no-repeat}\n"
       "@font-face{src:url( '../fonts/f.woff2#x' ) format(\"woff2\")}",
       "@import \"3S000006.css\";\nbody{background:url(\"http://host/css/img/bg.png\") no-repeat}\n"
       "@font-face{src:url( \"3S000007.woff2#x\" ) format(\"woff2\")}",
       {"add 3 http://host/css/base.css", "add 4 http://host/css/img/bg.png", "add 4 http://host/fonts/f.woff2"}},
      // What is no http reference stays byte for byte.
      {"/* url(a.png) */ a{content:\"url(b.png)\";background:url(data:image/png;base64,AA==)}"
       " b{background:url(http://host/x.png)} @import 'mailto:x';",
       "/* url(a.png) */ a{content:\"url(b.png)\";background:url(data:image/png;base64,AA==)}"
       " b{background:url(http://host/x.png)} @import 'mailto:x';",
       {"add 4 http://host/x.png"}},
      // Escaped names and values; a stylesheet importing itself names its own file.
      {"@IMPORT url(site.css); a{b:\\75 rl(\\62 ase.css)} c{d:url(\"../fonts/f\\.woff2\")}",
       "@IMPORT url(\"3S000005.css\"); a{b:url(\"3S000006.css\")} c{d:url(\"3S000007.woff2\")}",
       {"add 3 http://host/css/site.css", "add 4 http://host/css/base.css", "add 4 http://host/fonts/f.woff2"}},
      // Hostile values cannot leave their url() or string (resolving turns
      // '\\' into '/' and drops line breaks).
      {"a{b:url(q\\)\\\"\\27\\\\\\a </style>.png)}", "a{b:url(\"http://host/css/q)\\\"'/\\3c /style\\3e .png\")}",
       {"add 4 http://host/css/q)\"'/</style>.png"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.css);
    for (std::size_t piece : {std::string(c.css).size(), std::size_t{1}, std::size_t{7}}) {
      const Rewritten rewritten = Rewrite(c.css, piece);
      EXPECT_EQ(rewritten.copy, c.copy) << "pieces of " << piece;
      EXPECT_EQ(rewritten.log, c.log) << "pieces of " << piece;
    }
  }
  // The stylesheet is not among its own links.
  EXPECT_TRUE(std::none_of(sheet->m_links.begin(), sheet->m_links.end(),
                           [](const auto& link) { return link->m_strAddress == "http://host/css/site.css"; }));
}

TEST_F(StoredStylesheet, copy_follows_targets_that_came_or_went) {
  sheet->m_nState = CPageDescr::kStored;
  sheet->m_nCopyKept = 2;
  sheet->m_tLinksUpdated = 1000;
  for (const char* address : {"http://host/css/base.css", "http://host/fonts/f.woff2", "http://host/img/new.png"})
    if (sheet->AddLink(*site.cache, address, CPageChild::kMedia, nullptr, nullptr)) CCache::Lock().unlock();
  const std::string path = site.cache->PathOf(sheet->m_strLocalFile);
  const std::string copy =
      "@import \"3S000006.css\"; a{b:url(\"3S000007.woff2#x\")} c{d:url(\"http://host/img/new.png\")} e{f:url(x)}";
  hv::fs::WriteWholeFile(path, copy.data(), copy.size());
  site.cache->Find("http://host/fonts/f.woff2")->DropFile(*site.cache, nullptr);
  site.Store("http://host/img/new.png", "3S000008.png")->m_tStateChanged = 2000;
  sheet->Relink(*site.cache);
  EXPECT_EQ(PageSite::ReadFile(path),
            "@import \"3S000006.css\"; a{b:url(\"http://host/fonts/f.woff2#x\")} c{d:url(\"3S000008.png\")} e{f:url(x)}");
  EXPECT_EQ(sheet->m_bPlaceholderUsed, 0);
}

TEST(StylesheetType, only_text_css_answers) {
  for (const char* yes : {"text/css", "TEXT/CSS; charset=utf-8", " text/css"}) EXPECT_TRUE(hv::IsStylesheetType(yes));
  for (const char* no : {"", "text/cssx", "text/html", "application/css"}) EXPECT_FALSE(hv::IsStylesheetType(no));
}

}  // namespace
