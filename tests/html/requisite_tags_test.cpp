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
using Log = std::vector<std::string>;

void StoreRequisites(PageSite& site) {
  site.Store("http://host/css/site.css", "3S000010.css");
  site.Store("http://host/js/app.js", "3S000011.js");
  site.Store("http://host/img/logo.gif", "3S000003.gif");
  site.Store("http://host/img/big.webp", "3S000012.webp");
  site.Store("http://host/media/clip.mp4", "3S000013.mp4");
  site.Store("http://host/dir/inner.html", "3S000014.html");
}

TEST(RequisiteTags, RetrievedPageLinksAndCopy) {
  const std::string d = "http://host/dir/";
  struct Case {
    std::string page, copy;
    Log log;
  };
  const std::vector<Case> cases = {
      {"<link rel=stylesheet href=\"/css/site.css\">", "<link rel=stylesheet HREF=\"3S000010.css\">",
       {"add 3 http://host/css/site.css"}},
      {"<LINK REL=\"Shortcut  Icon\" HREF=/img/logo.gif>", "<LINK REL=\"Shortcut  Icon\" HREF=\"3S000003.gif\">",
       {"add 1 http://host/img/logo.gif"}},
      {"<link href='m.ico' rel=apple-touch-icon>", "<link HREF=\"hvempty.gif\" rel=apple-touch-icon>",
       {"add 1 " + d + "m.ico"}},
      {"<link rel=preload as=font href=f.woff2 crossorigin>",
       "<link rel=preload as=font HREF=\"http://host/dir/f.woff2\" crossorigin>", {"add 4 " + d + "f.woff2"}},
      {"<link rel=\"preload\" as=\"STYLE\" href=\"/css/site.css\">",
       "<link rel=\"preload\" as=\"STYLE\" HREF=\"3S000010.css\">", {"add 3 http://host/css/site.css"}},
      {"<link rel=preload as=image href=p.png><link rel=preload href=v.json>",
       "<link rel=preload as=image HREF=\"hvempty.gif\"><link rel=preload HREF=\"http://host/dir/v.json\">",
       {"add 1 " + d + "p.png", "add 4 " + d + "v.json"}},
      {"<link rel=modulepreload href=m.mjs><link rel=manifest href=app.webmanifest>",
       "<link rel=modulepreload HREF=\"http://host/dir/m.mjs\"><link rel=manifest "
       "HREF=\"http://host/dir/app.webmanifest\">",
       {"add 3 " + d + "m.mjs", "add 3 " + d + "app.webmanifest"}},
      // Not needed to show the page: left as written.
      {"<link rel=canonical href=page.html><link rel=alternate href=feed.xml><link href=x.css><link rel=\"\">",
       "<link rel=canonical href=page.html><link rel=alternate href=feed.xml><link href=x.css><link rel=\"\">", {}},
      {"<script src=\"/js/app.js\"></script><script src=gone.js async></script>",
       "<script SRC=\"3S000011.js\"></script><script SRC=\"http://host/dir/gone.js\" async></script>",
       {"add 3 http://host/js/app.js", "add 3 " + d + "gone.js"}},
      // Already the address it would get: the tag keeps its bytes.
      {"<script src='http://host/js/lib.js'>s = '<img src=x.gif>';</script>",
       "<script src='http://host/js/lib.js'>s = '<img src=x.gif>';</script>", {"add 3 http://host/js/lib.js"}},
      {"<iframe src=inner.html#top width=5></iframe><iframe src=other.html>",
       "<iframe SRC=\"3S000014.html#top\" width=5></iframe><iframe SRC=\"http://host/dir/other.html\">",
       {"add 2 " + d + "inner.html", "add 2 " + d + "other.html"}},
      {"<img src=/img/logo.gif srcset=\"/img/logo.gif 1x, /img/big.webp 2x, huge.png 3x\" alt=x>",
       "<img SRC=\"3S000003.gif\" SRCSET=\"3S000003.gif 1x, 3S000012.webp 2x, hvempty.gif 3x\" alt=x>",
       {"add 1 http://host/img/logo.gif", "add 1 http://host/img/logo.gif", "add 1 http://host/img/big.webp",
        "add 1 " + d + "huge.png"}},
      {"<IMG SRCSET='a,b.png 1x,mailto:x  2x'>", "<IMG SRCSET=\"hvempty.gif 1x,mailto:x  2x\">",
       {"add 1 " + d + "a,b.png"}},
      {"<picture><source srcset=\"/img/big.webp 1x\" type=image/webp><img src=/img/logo.gif></picture>",
       "<picture><source SRCSET=\"3S000012.webp 1x\" type=image/webp><img SRC=\"3S000003.gif\"></picture>",
       {"add 1 http://host/img/big.webp", "add 1 http://host/img/logo.gif"}},
      {"<video src=/media/clip.mp4 poster=/img/logo.gif controls><source src=clip.webm type=video/webm>"
       "<track src=subs.vtt kind=subtitles></video>",
       "<video SRC=\"3S000013.mp4\" POSTER=\"3S000003.gif\" controls><source SRC=\"http://host/dir/clip.webm\" "
       "type=video/webm><track SRC=\"http://host/dir/subs.vtt\" kind=subtitles></video>",
       {"add 1 http://host/img/logo.gif", "add 4 http://host/media/clip.mp4", "add 4 " + d + "clip.webm",
        "add 4 " + d + "subs.vtt"}},
      {"<audio src=song.mp3></audio><object data=movie.swf></object><embed src=/media/clip.mp4>",
       "<audio SRC=\"http://host/dir/song.mp3\"></audio><object DATA=\"http://host/dir/movie.swf\"></object>"
       "<embed SRC=\"3S000013.mp4\">",
       {"add 4 " + d + "song.mp3", "add 4 " + d + "movie.swf", "add 4 http://host/media/clip.mp4"}},
      // Requisites inside a link leave its text and its child as they were.
      {"<a href=x.html>go <script src=/js/app.js></script><img srcset=s.png>there</a>",
       "<a HREF=\"http://host/dir/x.html\">go <script SRC=\"3S000011.js\"></script><img SRCSET=\"hvempty.gif\">there</a>",
       {"add 0 " + d + "x.html deferred", "add 3 http://host/js/app.js", "add 1 " + d + "s.png",
        "complete " + d + "x.html \"go there\""}},
      // Values that would break out of their attribute.
      {"<script src='q\"><b x=\".js'></script><iframe src='f.html?a=\"1\"&amp;b=<2>'>",
       "<script SRC=\"http://host/dir/q&quot;&gt;&lt;b x=&quot;.js\"></script>"
       "<iframe SRC=\"http://host/dir/f.html?a=&quot;1&quot;&amp;b=&lt;2&gt;\">",
       {"add 3 " + d + "q\"><b x=\".js", "add 2 " + d + "f.html?a=\"1\"&amp;b=<2>"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    for (std::size_t piece : {0, 1}) {
      PageSite site;
      StoreRequisites(site);
      const PageSite::Mapped mapped = site.Map(c.page, piece);
      EXPECT_EQ(mapped.copy, c.copy);
      EXPECT_EQ(mapped.log, c.log);
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
      {"<link rel=stylesheet href=\"3S000010.css\">", "<link rel=stylesheet href=\"3S000010.css\">"},
      {"<link rel=stylesheet href='3S000020.css'>", "<link rel=stylesheet HREF=\"http://host/css/old.css\">"},
      {"<link rel=alternate href=3S000020.css><link rel=icon href=3S000021.png>",
       "<link rel=alternate href=3S000020.css><link rel=icon HREF=\"hvempty.gif\">"},
      {"<script src=\"http://host/js/app.js\"></script>", "<script SRC=\"3S000011.js\"></script>"},
      {"<img src=3S000003.gif srcset=\"3S000003.gif 1x,3S000021.png  2x\">",
       "<img SRC=\"3S000003.gif\" SRCSET=\"3S000003.gif 1x,hvempty.gif  2x\">"},
      {"<source srcset='3S000012.webp 1x'>", "<source srcset='3S000012.webp 1x'>"},
      {"<video poster=3S000021.png src=3S000013.mp4 controls>", "<video POSTER=\"hvempty.gif\" src=3S000013.mp4 controls>"},
      {"<object data=3S000022.swf></object><embed src=3S000022.swf><audio src=http://host/a.mp3>",
       "<object DATA=\"http://host/movie.swf\"></object><embed SRC=\"http://host/movie.swf\"><audio src=http://host/a.mp3>"},
      {"<iframe src=\"3S000023.html#t\">", "<iframe SRC=\"http://host/dir/gone.html#t\">"},
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
