// The text a reader sees of a page, and the words that changed between two
// such texts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tools/headless/visible_text.h"
#include "tools/headless/word_diff.h"

namespace harvion {
namespace {

struct TextCase {
  const char* name;
  std::string html;
  std::string text;
};

TEST(VisibleText, reads_what_a_browser_shows) {
  const TextCase cases[] = {
      {"tags separate blocks, inline tags join", "<p>one</p><p>t<b>w</b>o</p>", "one two"},
      {"white space collapsed", "  a \r\n\t b\f ", "a b"},
      {"named references", "caf&eacute; &amp; &lt;tea&gt; &euro;5 &mdash; x", "café & <tea> €5 — x"},
      {"numeric references", "&#233;&#xE9;&#X1F600;&#65", "éé😀A"},
      {"references browsers read as windows-1252", "&#150;&#128;", "–€"},
      {"bad numeric references", "a&#0;b &#xD800; &#99999999;", "a�b � �"},
      {"unknown names and bare ampersands", "&bogus; & &amp &;", "&bogus; & &amp &;"},
      {"no-break space and soft hyphen", "a&nbsp;b hy&shy;phen c\xC2\xA0" "d", "a b hyphen c d"},
      {"hidden content", "<script>var a = '</p>';</script>x<style>p{}</style><template>t</template><title>T</title>y",
       "x y"},
      {"end tag letter case and lookalikes", "<SCRIPT>a</scripts></Script >b", "b"},
      {"comments and declarations", "<!DOCTYPE html>a<!-- b -->c<!-- > d -->e<?xml x?>f", "ace f"},
      {"quoted '>' in attributes", "<a title=\"1 > 0\" href='>'>link</a>", "link"},
      {"a lone '<'", "1 < 2 <3", "1 < 2 <3"},
      {"Latin-1 page", "caf\xE9 \xA0 na\xEFve", "café naïve"},
      {"markup cut short", "a <p class=\"x", "a"},
      {"script never closed", "a<script>b", "a"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(VisibleText(c.html), c.text) << c.name;
}

TEST(VisibleText, hostile_sizes_are_read_in_one_pass) {
  const std::string oneLine(10u << 20, 'x');
  const std::string manyWords = [] {
    std::string words;
    for (int i = 0; i < 1000000; ++i) words += "w" + std::to_string(i % 977) + " ";
    return words;
  }();
  const std::string unclosed = "<!--" + std::string(8u << 20, '-');
  const std::string openTags(4u << 20, '<');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(VisibleText(oneLine).size(), oneLine.size());
  EXPECT_EQ(Tokens(VisibleText(manyWords)).size(), 1000000u);
  EXPECT_EQ(VisibleText(unclosed), "");
  EXPECT_EQ(VisibleText(openTags), openTags);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(VisibleText, punctuation_marks_are_tokens_of_their_own) {
  std::string shown;
  for (const TextToken& token : Tokens("not in gales, or (snow).  x"))
    shown += (token.spaceBefore ? "_" : "") + std::string(token.text) + "|";
  EXPECT_EQ(shown, "not|_in|_gales|,|_or|_(|snow|)|.|_x|");
}

std::vector<std::string_view> Texts(const std::string& text) {
  std::vector<std::string_view> texts;
  for (const TextToken& token : Tokens(text)) texts.push_back(token.text);
  return texts;
}

// The runs as a line: "a [-b-] {+c+} d".
std::string Shown(const std::string& before, const std::string& after, const DiffLimits& limits = {}) {
  const std::vector<std::string_view> a = Texts(before), b = Texts(after);
  const auto runs = DiffWords(a, b, limits);
  if (!runs) return "throughout";
  std::string text;
  std::size_t inA = 0, inB = 0;
  for (const WordRun& run : *runs) {
    const bool added = run.kind == WordRun::Kind::added;
    EXPECT_EQ(run.start, added ? inB : inA) << "runs out of order";
    std::string words;
    for (std::size_t i = 0; i < run.count; ++i) words += (i ? " " : "") + std::string((added ? b : a)[run.start + i]);
    if (!text.empty()) text += ' ';
    if (run.kind == WordRun::Kind::same) {
      text += words;
      inA += run.count, inB += run.count;
    } else if (added) {
      text += "{+" + words + "+}";
      inB += run.count;
    } else {
      text += "[-" + words + "-]";
      inA += run.count;
    }
  }
  EXPECT_EQ(inA, a.size());
  EXPECT_EQ(inB, b.size());
  return text;
}

TEST(WordDiff, finds_the_fewest_words_changed) {
  const struct {
    const char* before;
    const char* after;
    const char* shown;
  } cases[] = {
      {"the quick brown fox", "the quick red fox", "the quick [-brown-] {+red+} fox"},
      {"a b c", "a b c", "a b c"},
      {"", "new words", "{+new words+}"},
      {"old words", "", "[-old words-]"},
      {"a b c d e", "a c d e f", "a [-b-] c d e {+f+}"},
      {"x a y a z", "x a z", "x a [-y a-] z"},
      {"one two three four", "four three two one", "[-one two three-] four {+three two one+}"},
      {"a b a b a b", "b a b a b a", "[-a-] b a b a b {+a+}"},
  };
  for (const auto& c : cases) EXPECT_EQ(Shown(c.before, c.after), c.shown) << c.before << " -> " << c.after;
}

TEST(WordDiff, stops_at_its_limits) {
  std::string many, other;
  for (int i = 0; i < 3000; ++i) {
    many += "a" + std::to_string(i) + " ";
    other += "b" + std::to_string(i) + " ";
  }
  EXPECT_EQ(Shown(many, other), "throughout") << "past the edits allowed";
  EXPECT_EQ(Shown("a b c", "a x c", {2, 1000, 1000}), "throughout") << "past the words allowed";
  EXPECT_NE(Shown(many, many + "tail"), "throughout") << "a long text with one word added";

  // Two large texts unlike everywhere give up quickly.
  std::string left, right;
  for (int i = 0; i < 200000; ++i) {
    left += (i % 2 ? "p " : "q ");
    right += (i % 3 ? "p " : "q ");
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Shown(left, right), "throughout");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace harvion
