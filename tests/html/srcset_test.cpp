// A srcset split and rewritten as a browser reads its candidates: only the
// URLs change, every other byte stays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/html/srcset.h"

namespace {

// URLs starting with "keep" stay; "blank" and "comma" give hostile new
// texts; the others are bracketed, so their bounds show.
std::string Replace(std::string_view url) {
  if (url.substr(0, 4) == "keep") return {};
  if (url == "blank") return "a b\tc";
  if (url == "comma") return ",x,y,";
  return "[" + std::string(url) + "]";
}

TEST(Srcset, RewritesEachCandidateUrl) {
  struct Case {
    std::string value, expected;
  };
  const std::vector<Case> cases = {
      {"a.jpg", "[a.jpg]"},
      {"a.jpg 1x, b.jpg 2x", "[a.jpg] 1x, [b.jpg] 2x"},
      {"  a.jpg\t480w ,\n b.jpg   800w  ", "  [a.jpg]\t480w ,\n [b.jpg]   800w  "},
      // A comma inside a URL stays in it; trailing commas end it.
      {"a,b.jpg 1x,c.jpg 2x", "[a,b.jpg] 1x,[c.jpg] 2x"},
      {"a.jpg,b.jpg", "[a.jpg,b.jpg]"},
      {"a.jpg,, b.jpg", "[a.jpg],, [b.jpg]"},
      {",,, a.jpg", ",,, [a.jpg]"},
      {"a.jpg 1x,", "[a.jpg] 1x,"},
      // A comma inside parentheses belongs to the descriptor.
      {"a.jpg (x, y) 1x, b.jpg", "[a.jpg] (x, y) 1x, [b.jpg]"},
      {"a.jpg (never closed, b.jpg", "[a.jpg] (never closed, b.jpg"},
      {"data:image/gif;base64,R0lG 1x, b.jpg 2x", "[data:image/gif;base64,R0lG] 1x, [b.jpg] 2x"},
      {"keep.jpg 1x, b.jpg 2x, keep2.jpg 3x", "keep.jpg 1x, [b.jpg] 2x, keep2.jpg 3x"},
      {"keep.jpg  ,  keep.gif", "keep.jpg  ,  keep.gif"},
      {"", ""},
      {" , ,\t", " , ,\t"},
      // A new text reads back as one URL.
      {"blank 1x, comma 2x", "a%20b%09c 1x, %2Cx,y%2C 2x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(hv::html::RewriteSrcset(c.value, Replace), c.expected);
  }
}

TEST(Srcset, NewTextsSplitBackIntoTheSameCandidates) {
  const std::string value = hv::html::RewriteSrcset("blank 1x, comma 2x,a,b 3x", Replace);
  std::vector<std::string> urls;
  for (const hv::html::SrcsetUrl& url : hv::html::SrcsetUrls(value)) urls.push_back(value.substr(url.start, url.length));
  EXPECT_EQ(urls, (std::vector<std::string>{"a%20b%09c", "%2Cx,y%2C", "[a,b]"}));
}

}  // namespace
