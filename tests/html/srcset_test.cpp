// A srcset split and rewritten as a browser reads its candidates: only the
// URLs change, every other byte stays, and a new text reads back as one URL.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "engine/html/srcset.h"

namespace {

TEST(Srcset, RewritesEachCandidateUrl) {
  // "keep..." stays, "blank" and "comma" give hostile texts, others are bracketed.
  const auto replace = [](std::string_view url) -> std::string {
    if (url.substr(0, 4) == "keep") return {};
    if (url == "blank" || url == "comma") return url == "blank" ? "a b\tc" : ",x,y,";
    return "[" + std::string(url) + "]";
  };
  const std::pair<std::string, std::string> cases[] = {
      {"  a.jpg\t480w ,\n b.jpg   800w  ", "  [a.jpg]\t480w ,\n [b.jpg]   800w  "},
      {"a,b.jpg 1x,c.jpg 2x", "[a,b.jpg] 1x,[c.jpg] 2x"},
      {"a.jpg,b.jpg", "[a.jpg,b.jpg]"},
      {",,, a.jpg,, b.jpg 1x,", ",,, [a.jpg],, [b.jpg] 1x,"},
      {"a.jpg (x, y) 1x, b.jpg", "[a.jpg] (x, y) 1x, [b.jpg]"},
      {"a.jpg (never closed, b.jpg", "[a.jpg] (never closed, b.jpg"},
      {"keep.jpg 1x, b.jpg 2x, keep2.jpg 3x", "keep.jpg 1x, [b.jpg] 2x, keep2.jpg 3x"},
      {" , ,\t", " , ,\t"},
      {"blank 1x, comma 2x", "a%20b%09c 1x, %2Cx,y%2C 2x"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(hv::html::RewriteSrcset(value, replace), expected) << value;
}

}  // namespace
