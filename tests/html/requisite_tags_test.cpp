// The tags a page needs to look as it did (stylesheets, scripts, inline
// frames, srcset pictures, media): the links each gives the page's location
// and the copy written, byte for byte, when the page is retrieved and when
// its copy is written anew.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html/recording_owner.h"

namespace {

using hvtest::PageSite;

void StoreRequisites(PageSite& site) {
  site.Store("http://host/css/site.css", "3S000010.css");
  site.Store("http://host/js/app.js", "3S000011.js");
  site.Store("http://host/img/logo.gif", "3S000003.gif");
  site.Store("http://host/img/big.webp", "3S000012.webp");
  site.Store("http://host/media/clip.mp4", "3S000013.mp4");
  site.Store("http://host/dir/inner.html", "3S000014.html");
}

TEST(RequisiteTags, RetrievedPageLinksAndCopy) {
  struct Case {
    std::string page, copy;
    std::string kinds;  // of the links the location is given, in order; c: a link's text is complete
  };
  const std::vector<Case> cases = {
      {"<link rel=stylesheet href=\"/css/site.css\"><LINK REL=\"Shortcut  Icon\" HREF=/img/logo.gif>"
       "<link href='m.ico' rel=apple-touch-icon>",
       "<link rel=stylesheet HREF=\"3S000010.css\"><LINK REL=\"Shortcut  Icon\" HREF=\"3S000003.gif\">"
       "<link HREF=\"hvempty.gif\" rel=apple-touch-icon>",
       "3 1 1"},
      // A preload is what its "as" says; modules and manifests are read as text.
      {"<link rel=preload as=font href=f.woff2><link rel=\"preload\" as=\"STYLE\" href=\"/css/site.css\">"
       "<link rel=preload as=image href=p.png><link rel=preload href=v.json><link rel=modulepreload href=m.mjs>"
       "<link rel=manifest href=a.json>",
       "<link rel=preload as=font HREF=\"http://host/dir/f.woff2\"><link rel=\"preload\" as=\"STYLE\" "
       "HREF=\"3S000010.css\"><link rel=preload as=image HREF=\"hvempty.gif\"><link rel=preload "
       "HREF=\"http://host/dir/v.json\"><link rel=modulepreload HREF=\"http://host/dir/m.mjs\"><link rel=manifest "
       "HREF=\"http://host/dir/a.json\">",
       "4 3 1 4 3 3"},
      // Not needed to show the page, or already the address it would get:
      // the tag keeps its bytes.
      {"<link rel=canonical href=p.html><link rel=alternate href=f.xml><link href=x.css>"
       "<script src='http://host/js/lib.js'>s = '<img src=x.gif>';</script>",
       "<link rel=canonical href=p.html><link rel=alternate href=f.xml><link href=x.css>"
       "<script src='http://host/js/lib.js'>s = '<img src=x.gif>';</script>",
       "3"},
      {"<script src=\"/js/app.js\"></script><script src=gone.js async></script><iframe src=inner.html#top>",
       "<script SRC=\"3S000011.js\"></script><script SRC=\"http://host/dir/gone.js\" async></script>"
       "<iframe SRC=\"3S000014.html#top\">",
       "3 3 2"},
      {"<img src=/img/logo.gif srcset=\"/img/logo.gif 1x, a,b.png 2x,mailto:x  3x\" alt=x>"
       "<source srcset=\"/img/big.webp 1x\" type=image/webp>",
       "<img SRC=\"3S000003.gif\" SRCSET=\"3S000003.gif 1x, hvempty.gif 2x,mailto:x  3x\" alt=x>"
       "<source SRCSET=\"3S000012.webp 1x\" type=image/webp>",
       "1 1 1 1"},
      {"<video src=/media/clip.mp4 poster=/img/logo.gif controls><source src=c.webm><track src=s.vtt></video>"
       "<audio src=a.mp3><object data=o.swf></object><embed src=/media/clip.mp4>",
       "<video SRC=\"3S000013.mp4\" POSTER=\"3S000003.gif\" controls><source SRC=\"http://host/dir/c.webm\">"
       "<track SRC=\"http://host/dir/s.vtt\"></video><audio SRC=\"http://host/dir/a.mp3\"><object "
       "DATA=\"http://host/dir/o.swf\"></object><embed SRC=\"3S000013.mp4\">",
       "1 4 4 4 4 4 4"},
      // Requisites inside a link leave its text and its child as they were.
      {"<a href=x.html>go <script src=/js/app.js></script><img srcset=s.png>there</a>",
       "<a HREF=\"http://host/dir/x.html\">go <script SRC=\"3S000011.js\"></script><img SRCSET=\"hvempty.gif\">there</a>",
       "0 3 1 c"},
      // A BASE taken out never joins what stood around it into a tag.
      {"<<BASE HREF=x>script>alert(1)</<base href=y>script><p>a<base href=z>b <!<BASE HREF=w>-- c -->",
       "<<!---->script>alert(1)</<base href=y>script><p>ab <!<BASE HREF=w>-- c -->", ""},
      // Values that would break out of their attribute.
      {"<script src='q\"><b x=\".js'></script><iframe src='f.html?a=\"1\"&amp;b=<2>'>",
       "<script SRC=\"http://host/dir/q&quot;&gt;&lt;b x=&quot;.js\"></script>"
       "<iframe SRC=\"http://host/dir/f.html?a=&quot;1&quot;&amp;b=&lt;2&gt;\">",
       "3 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    for (std::size_t piece : {0, 1}) {
      PageSite site;
      StoreRequisites(site);
      const PageSite::Mapped mapped = site.Map(c.page, piece);
      EXPECT_EQ(mapped.copy, c.copy);
      std::string kinds;
      for (const std::string& line : mapped.log)
        kinds += (kinds.empty() ? "" : " ") + (line.rfind("add ", 0) == 0 ? line.substr(4, 1) : line.substr(0, 1));
      EXPECT_EQ(kinds, c.kinds);
      EXPECT_EQ(site.page->m_bPlaceholderUsed, c.copy.find("hvempty.gif") != std::string::npos ? 1 : 0);
    }
  }
}

// A stored copy written anew: requisites that came or went change, those
// that stay keep their bytes, and a requisite not stored is named by its web
// address, never by the placeholder, unless it is a picture.
TEST(RequisiteTags, CopyWrittenAnewFollowsTheTargets) {
  struct Case {
    std::string copy, expected;
  };
  const std::vector<Case> cases = {
      {"<link rel=stylesheet href=\"3S000010.css\"><source srcset='3S000012.webp 1x'><audio src=http://host/a.mp3>",
       "<link rel=stylesheet href=\"3S000010.css\"><source srcset='3S000012.webp 1x'><audio src=http://host/a.mp3>"},
      {"<link rel=stylesheet href='3S000020.css'><link rel=alternate href=3S000020.css><link rel=icon href=3S000021.png>",
       "<link rel=stylesheet HREF=\"http://host/css/old.css\"><link rel=alternate href=3S000020.css>"
       "<link rel=icon HREF=\"hvempty.gif\">"},
      {"<script src=\"http://host/js/app.js\"></script><img src=3S000003.gif srcset=\"3S000003.gif 1x,3S000021.png  2x\">",
       "<script SRC=\"3S000011.js\"></script><img SRC=\"3S000003.gif\" SRCSET=\"3S000003.gif 1x,hvempty.gif  2x\">"},
      {"<video poster=3S000021.png src=3S000013.mp4><object data=3S000022.swf></object><iframe src=\"3S000023.html#t\">",
       "<video POSTER=\"hvempty.gif\" src=3S000013.mp4><object DATA=\"http://host/movie.swf\"></object>"
       "<iframe SRC=\"http://host/dir/gone.html#t\">"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.copy);
    PageSite site;
    StoreRequisites(site);
    for (const auto& [address, name] : {std::pair{"http://host/css/old.css", "3S000020.css"},
                                        {"http://host/img/old.png", "3S000021.png"},
                                        {"http://host/movie.swf", "3S000022.swf"},
                                        {"http://host/dir/gone.html", "3S000023.html"}})
      site.Store(address, name)->m_nState = CPageDescr::kNotStored;
    site.page->m_nState = CPageDescr::kStored;
    site.page->m_nCopyKept = 2;
    hv::fs::WriteWholeFile(site.cache->PathOf(site.page->m_strLocalFile), c.copy.data(), c.copy.size());
    site.page->RewriteLinks(*site.cache);
    EXPECT_EQ(site.ReadPage(), c.expected);
    EXPECT_EQ(site.page->m_bPlaceholderUsed, c.expected.find("hvempty.gif") != std::string::npos ? 1 : 0);
  }
}

}  // namespace
