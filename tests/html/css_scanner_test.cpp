// The references a stylesheet holds, as the CSS tokenizer reads it: each
// case fed whole, one byte per call and in pieces of three.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/html/css_scanner.h"
#include "engine/html/css_text.h"

namespace {

class Recorder : public CCssScanner {
 public:
  std::vector<std::string> found;

 protected:
  void OnReference(const Reference& r) override {
    found.push_back(std::string(r.kind == Kind::import ? "import " : "url ") + r.value + " " +
                    std::to_string(r.start) + "-" + std::to_string(r.end) + (r.quoted ? " q" : ""));
  }
};

std::vector<std::string> Scan(const std::string& css, std::size_t piece) {
  Recorder recorder;
  for (std::size_t at = 0; at < css.size(); at += piece) {
    recorder.Scan(css.data() + at, std::min(piece, css.size() - at));
    // Nothing still to be reported lies before what may yet be replaced.
    EXPECT_LE(recorder.OpenFrom(), recorder.Scanned());
  }
  recorder.Finish();
  return recorder.found;
}

struct Case {
  const char* css;
  std::vector<std::string> expected;
};

TEST(CssScanner, finds_references_as_css_reads_them) {
  const Case cases[] = {
      {"a{background:url(x.png)}", {"url x.png 13-23"}},
      {"url( \"a b.png\" ) url('x')", {"url a b.png 5-14 q", "url x 21-24 q"}},
      {"url(  x.png\t) URL(y)", {"url x.png 0-13", "url y 14-20"}},
      // Comments and strings hide what looks like a reference.
      {"/* url(no) */ \"url(no)\" 'a\\'url(no)' url(yes)", {"url yes 37-45"}},
      {"/* *url(no)**/url(yes)", {"url yes 14-22"}},
      // A name that only ends in url, a hash, a number's unit: no function url.
      {"xurl(no) #url(no) -url(no) 5url(no) a\\ url(no) .url(yes)", {"url yes 48-56"}},
      // Escapes: a name spelled with them still names url; values decode.
      {"\\75 rl(a) U\\52L(b) \\000075rl(c)", {"url a 0-9", "url b 10-18", "url c 19-31"}},
      {"url(a\\)b) url(a\\29 b) url(\"q\\\"\\\\\") url(\"x\\\ny\")", {"url a)b 0-9", "url a)b 10-21",
                                                                    "url q\"\\ 26-33 q", "url xy 39-45 q"}},
      {"url(\\0) url(\\110000)", {"url \xEF\xBF\xBD 0-7", "url \xEF\xBF\xBD 8-20"}},
      {"a\\\"url(no) url(yes)", {"url yes 11-19"}},
      // Malformed values are no references, and the scan goes on after them.
      {"url(a b) url(a\"b) url(a(b) url(a\\\nb) url(ok)", {"url ok 37-44"}},
      {"url(\"a\nurl(ok)", {"url ok 7-14"}},
      {"url() url(\"\") url( )", {}},
      // @import with a string, a url(), comments between, any case.
      {"@import \"s.css\";@import url(t.css);@IMPORT/**/'u.css';@import url( \"v.css\" );",
       {"import s.css 8-15 q", "import t.css 24-34", "import u.css 46-53 q", "import v.css 67-74 q"}},
      {"@import x \"no\"; @importurl(no); @imports 'no'; @\\69mport 'y'", {"import y 57-60 q"}},
      // The end of input closes what is open.
      {"url(x", {"url x 0-5"}},
      {"url('x", {"url x 4-6 q"}},
      {"@import 'a\\", {"import a 8-11 q"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.css);
    const std::string css = c.css;
    EXPECT_EQ(Scan(css, css.size() + 1), c.expected);
    EXPECT_EQ(Scan(css, 1), c.expected);
    EXPECT_EQ(Scan(css, 3), c.expected);
  }
}

TEST(CssScanner, drops_values_too_long_for_an_address) {
  const std::string data = "url(data:" + std::string(CCssScanner::kMaxValue, 'A') + ")";
  const std::string css = data + " url(\"" + std::string(CCssScanner::kMaxValue + 1, 'B') + "\") url(ok)";
  Recorder recorder;
  recorder.Scan(css.data(), css.size() - 9);
  // The long values are not kept for replacing.
  EXPECT_EQ(recorder.OpenFrom(), recorder.Scanned());
  recorder.Scan(css.data() + css.size() - 9, 9);
  recorder.Finish();
  EXPECT_EQ(recorder.found, std::vector<std::string>{"url ok " + std::to_string(css.size() - 7) + "-" +
                                                     std::to_string(css.size())});
}

TEST(CssScanner, written_strings_cannot_break_out) {
  std::string out;
  hv::AppendCssString(out, "a\")\\b\n</style>\x7f'");
  EXPECT_EQ(out, "\"a\\\")\\\\b\\a \\3c /style\\3e \\7f '\"");
  // Read back by the scanner, the written string gives the value again.
  Recorder recorder;
  const std::string css = "url(" + out + ")";
  recorder.Scan(css.data(), css.size());
  recorder.Finish();
  EXPECT_EQ(recorder.found,
            std::vector<std::string>{"url a\")\\b\n</style>\x7f' 4-" + std::to_string(4 + out.size()) + " q"});
}

}  // namespace
