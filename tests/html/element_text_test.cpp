// The text a parser collects stays in one encoding, whatever the limit cuts.
#include <gtest/gtest.h>

#include "engine/html/element_text.h"

namespace {

TEST(ElementText, KeepsOneEncodingAtTheLimit) {
  struct Case {
    const char* name;
    int code;           // a reference, then
    std::string bytes;  // the page's own bytes
    std::size_t limit;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // The cut falls inside "é": the partial sequence is dropped, so the
      // dash stays UTF-8.
      {"cut inside a sequence", 0x2014, "\xc3\xa9\xc3\xa9", 6, "\xe2\x80\x94\xc3\xa9"},
      {"single bytes take Latin-1 bytes", 0xE9, "t\xe9", 10, "\xe9t\xe9"},
      {"beyond Latin-1 widens single bytes", 0x2014, "\xe9", 10, "\xe2\x80\x94\xc3\xa9"},
      {"an overlong form is not UTF-8", 0x2014, "\xc0\xaf", 10, "\xe2\x80\x94\xc3\x80\xc2\xaf"},
      {"a surrogate is no character", 0xD800, "x", 10, "?x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ElementText text(c.limit);
    text.AddCharacter(c.code);
    text.AddBytes(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(text.Take(), c.expected);
    EXPECT_TRUE(text.Empty());
  }
}

}  // namespace
