// The tokenizer through a recording subclass: every document is fed whole
// and one byte per call, and both runs must give the same events.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "html/recording_parser.h"

namespace {

using hvtest::Record;
using Events = std::vector<std::string>;

struct Case {
  std::string input;
  Events events;
};

// Whole and byte by byte, text a character and a run at a time: all four
// give the same events.
Events RunBoth(const std::string& document) {
  const hvtest::Recording whole = Record(document);
  for (std::size_t piece : {std::size_t{0}, std::size_t{1}}) {
    for (hvtest::Text text : {hvtest::Text::kCharacters, hvtest::Text::kRuns}) {
      const hvtest::Recording r = Record(document, piece, text);
      EXPECT_EQ(r.events, whole.events) << "pieces of " << piece << (text == hvtest::Text::kRuns ? ", runs" : "");
      EXPECT_EQ(r.faults, std::vector<std::string>());
    }
  }
  return whole.events;
}

void RunAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(RunBoth(c.input), c.events);
  }
}

TEST(SgmlStartTag, AttributesAndOffsets) {
  RunAll({
      {"<A HREF=\"x.htm\">", {"s:A:16 HREF[3,14]=x.htm"}},
      {"<a href=x.htm>", {"s:A:14 HREF[3,12]=x.htm"}},
      {"<iMg sRc=x>", {"s:IMG:11 SRC[5,9]=x"}},
      {"<A HREF>", {"s:A:8 HREF[3,6]="}},
      {"<A HREF=>", {"s:A:9 HREF[3,6]="}},
      // A quoted value runs to its closing quote; one never closed drops its tag.
      {"<A HREF=\"a>b\">", {"s:A:14 HREF[3,12]=a>b"}},
      {"<A HREF='a\">b'>", {"s:A:15 HREF[3,13]=a\">b"}},
      {"<A HREF=\"x NAME=y>z", {}},
      {"<A ID=\"q r\" HREF=x NAME>", {"s:A:24 HREF[12,17]=x NAME[19,22]="}},
      {"<A HREF ID=x>", {"s:A:13 HREF[3,6]="}},
      {"<IMG SRC='a \"b\"' ALT = c>", {"s:IMG:25 ALT[17,23]=c SRC[5,15]=a \"b\""}},
      {"<A HREF=a=b&amp;c>", {"s:A:18 HREF[3,16]=a=b&amp;c"}},
      {"<A HREF=a HREF=b>", {"s:A:17 HREF[10,15]=b"}},
      {"<A\n\tHREF\n=\n\"x\">", {"s:A:15 HREF[4,13]=x"}},
      {"<BR\n>", {"s:BR:5"}},
      // Slots of the previous tag do not leak into the next.
      {"<IMG SRC=a ALT=b><IMG SRC=c>", {"s:IMG:17 ALT[11,15]=b SRC[5,9]=a", "s:IMG:11 SRC[5,9]=c"}},
      // A name runs to a blank, '/' or '>'; a '/' ends an attribute too.
      {"<A<B HREF=x>", {}},
      {"<A/HREF=x/><IMG SRC=a/ ALT/=\"b>\">", {"s:A:11 HREF[3,9]=x/", "s:IMG:20 ALT[12,14]= SRC[5,10]=a/", "t:A:\">"}},
      {"<A\x01HREF=x><A ID=\x01 HREF=y>", {"s:A:15 HREF[8,13]=y"}},
  });
}

TEST(SgmlStartTag, ContentTypes) {
  RunAll({
      {"<BR>x", {"s:BR:4", "t:-:x"}},
      {"<BASE HREF=x>y</BASE>z", {"s:BASE:13 HREF[6,11]=x", "t:-:yz"}},
      {"<MAP NAME=m>x</MAP>y", {"s:MAP:12 NAME[5,10]=m", "t:MAP:x", "e:MAP", "t:-:y"}},
      {"<A><IMG>x", {"s:A:3", "s:IMG:5", "t:A:x"}},
      {"<A HREF=x", {}},  // half a tag at the end is dropped
  });
}

TEST(SgmlReferences, DecodedInElementContent) {
  RunAll({
      {"<A>&amp;</A>", {"s:A:3", "t:A:&", "e:A"}},
      {"<A>&amp x</A>", {"s:A:3", "t:A:&x", "e:A"}},
      {"<A>&zzz;</A>", {"s:A:3", "t:A:&zzz;", "e:A"}},
      {"<A>&AMP;</A>", {"s:A:3", "t:A:&AMP;", "e:A"}},
      {"<A>a & b &&amp;</A>", {"s:A:3", "t:A:a & b &&", "e:A"}},
      {"<A>x&</A>", {"s:A:3", "t:A:x&", "e:A"}},
      // A found name consumes its terminator, whatever it is.
      {"<A>&lt<BR>x</A>", {"s:A:3", "t:A:<BR>x", "e:A"}},
      {"<A>&eacute&amp;</A>", {"s:A:3", "t:A:{233}amp;", "e:A"}},
      {"<MAP>&gt;</MAP>", {"s:MAP:5", "t:MAP:>", "e:MAP"}},
      {"<TITLE>&Cedilla;&yuml;</TITLE>", {"s:TITLE:7", "t:TITLE:{184}{255}", "e:TITLE"}},
  });
}

TEST(SgmlReferences, Numeric) {
  RunAll({
      {"<A>&#65;</A>", {"s:A:3", "t:A:A", "e:A"}},
      {"<A>&#x41;&#X6a;&#x1F600;</A>", {"s:A:3", "t:A:Aj{128512}", "e:A"}},
      {"<A>&#x;&#xg;&#x0;x&#x110000;</A>", {"s:A:3", "t:A:x", "e:A"}},
      {"<A>&#65abc;x</A>", {"s:A:3", "t:A:Ax", "e:A"}},
      {"<A>&#65 x</A>", {"s:A:3", "t:A:Ax", "e:A"}},
      {"<A>&#;x&#0;</A>", {"s:A:3", "t:A:x", "e:A"}},
      {"<A>&#256;&#1114111;</A>", {"s:A:3", "t:A:{256}{1114111}", "e:A"}},
      // Past the last character code, and far past any integer.
      {"<A>&#1114112;&#99999999999999999999999;y</A>", {"s:A:3", "t:A:y", "e:A"}},
  });
}

TEST(SgmlReferences, PlainTextOutsideElements) {
  RunAll({
      {"&amp;", {"t:-:&amp;"}},
      {"<BR>&amp;&#65;", {"s:BR:4", "t:-:&amp;&#65;"}},
      {"<A>x</A>&lt;", {"s:A:3", "t:A:x", "e:A", "t:-:&lt;"}},
  });
}

TEST(SgmlLineFeeds, DroppedAroundTagsDeliveredLateElsewhere) {
  RunAll({
      {"<A>text\n</A>", {"s:A:3", "t:A:text", "e:A"}},
      {"<A>\n\nx</A>", {"s:A:3", "t:A:x", "e:A"}},
      {"<BR>\nx", {"s:BR:4", "t:-:x"}},
      {"a\nb", {"t:-:a{10}b"}},
      {"a\n\nb", {"t:-:a{10}{10}b"}},
      {"a\r\nb", {"t:-:a{13}{10}b"}},
      {"a\n<BR>b", {"t:-:a{10}", "s:BR:4", "t:-:b"}},
      {"x\n<P>y", {"t:-:x{10}y"}},
      {"x\n<!-- c -->y", {"t:-:x{10}y"}},
      {"<A>x\n</>y", {"s:A:3", "t:A:x", "e:A", "t:-:y"}},
      {"<A>x\n&amp;</A>", {"s:A:3", "t:A:x{10}&", "e:A"}},
      {"x\n", {"t:-:x"}},
  });
}

TEST(SgmlMarkup, CommentsDeclarationsAndUnknownTags) {
  RunAll({
      // As a browser reads them: a declaration ends at its first '>', a
      // comment at "-->" or "--!>", or at once as "<!-->" or "<!--->".
      {"<!DOCTYPE x [ <!ENTITY y \"z\"> ]>after", {"t:-: ]>after"}},
      {"<!x ]]>y<!>z<?a\">b", {"t:-:yzb"}},
      {"<!-- a -- >b", {}},
      {"<!-- a > b -->c", {"t:-:c"}},
      {"<!-->x-->y", {"t:-:x-->y"}},
      {"<!--->x-->y", {"t:-:x-->y"}},
      {"<!---->x<!-- a ---->y<!-- b --!>z<!-- c --!->d-->e", {"t:-:xyze"}},
      {"<!-- x --\n\r >y", {}},
      {"<!-- x -- y -->z<!-x>w", {"t:-:zw"}},
      {"<A><!-- <A> -->x</A>", {"s:A:3", "t:A:x", "e:A"}},
      {"<P>", {}},
      // Table names in any case; names one letter short or long are unknown.
      {"<aReA><Br><iMg><mEtA><fRaMe><bOdY>", {"s:AREA:6", "s:BR:4", "s:IMG:5", "s:META:6", "s:FRAME:7", "s:BODY:6"}},
      {"<are><areas><b><brr><im><metas><a1><titl><map_>x", {"t:-:x"}},
      {"<P>text</P>", {"t:-:text"}},
      {"<FONT SIZE=\"+1\">x</FONT>", {"t:-:x"}},
      {"<P TITLE=\"a>b\">", {}},
      {"</P TITLE=\"a>b\">x</ P>y", {"t:-:xy"}},
      // Only a letter after '<' opens a tag.
      {"a < b > c<1>", {"t:-:a < b > c<1>"}},
      {"<>x", {"t:-:<>x"}},
      // The text of these elements holds no markup up to their own end tag.
      {"<SCRIPT>a<b \"<A HREF=x>\"</SCRIPTX></script >y", {"t:-:a<b \"<A HREF=x>\"</SCRIPTX>y"}},
      {"<TITLE><A HREF=x>&amp;</TITLE><A>", {"s:TITLE:7", "t:TITLE:<A HREF=x>&", "e:TITLE", "s:A:3"}},
      {"<xmp><BR></xmp><BR><plaintext><BR></plaintext>", {"t:-:<BR>", "s:BR:4", "t:-:<BR></plaintext>"}},
      // In a script, "<!--" ... "-->" may hold "<script>" ... "</script>".
      {"<script><!--<script></SCRIPT>--></script><A><script><!--></script><A>",
       {"t:-:<!--<script></SCRIPT>-->", "s:A:3", "t:A:<!-->", "s:A:3"}},
  });
}

TEST(SgmlEndTags, ClosingAgainstTheStack) {
  RunAll({
      {"<BODY><A>x</B>y", {"s:BODY:6", "s:A:3", "t:A:xy"}},
      {"<BODY><A></TITLE>x", {"s:BODY:6", "s:A:3", "e:A", "t:BODY:x"}},
      {"<BODY><A></>x</>y</>z", {"s:BODY:6", "s:A:3", "e:A", "t:BODY:x", "e:BODY", "t:-:yz"}},
      {"<BODY><A></BODY>x", {"s:BODY:6", "s:A:3", "e:A", "e:BODY", "t:-:x"}},
      {"<BODY><MAP><A></map>x", {"s:BODY:6", "s:MAP:5", "s:A:3", "e:A", "e:MAP", "t:BODY:x"}},
      {"<A></BODY>x", {"s:A:3", "t:A:x"}},
      {"<A></BR></BASE>x", {"s:A:3", "t:A:x"}},
      {"<A></A junk>x", {"s:A:3", "e:A", "t:-:x"}},
      {"<A><A>x</A>y</A>z", {"s:A:3", "s:A:3", "t:A:x", "e:A", "t:A:y", "e:A", "t:-:z"}},
      {"<A></A", {"s:A:3"}},
  });
}

TEST(SgmlEntityTable, EveryEntryDecodesAndLatin1IsComplete) {
  std::set<int> codes;
  for (const SGMLEntityDef& e : kSGMLEntities) {
    SCOPED_TRACE(e.name);
    std::string expected = "t:A:";
    hvtest::AppendCode(expected, e.code);
    EXPECT_EQ(RunBoth(std::string("<A>&") + e.name + ";</A>"), Events({"s:A:3", expected, "e:A"}));
    EXPECT_TRUE(codes.insert(e.code).second) << "code twice";
  }
  std::set<int> expected = {34, 38, 60, 62};
  for (int c = 160; c <= 255; ++c) expected.insert(c);
  EXPECT_EQ(codes, expected);
}

TEST(SgmlFeeding, HighBytesAreCharactersNotNames) {
  RunAll({
      {"\xE9t\xFF", {"t:-:{233}t{255}"}},
      {"<A\xE9>", {}},
      {"<A>&caf\xE9;</A>", {"s:A:3", "t:A:&caf{233};", "e:A"}},
      {"<IMG ALT=\"\xA0\">", {"s:IMG:13 ALT[5,11]={160}"}},
  });
}

const char kPage[] =
    "<!DOCTYPE HTML>\n<BODY BACKGROUND='b.gif'>\n<TITLE>T&amp;&#65;</TITLE>\n<SCRIPT>x</y</SCRIPT>"
    "<A HREF=\"one.htm\" TARGET=_top>one</A> &copy; <!-- note --!>\n<IMG SRC=p.gif ALT=\"a > b\">\n"
    "<MAP NAME=m><AREA HREF=x COORDS=\"1,2\"></MAP>\n</BODY>\n";

TEST(SgmlFeeding, SplitAtEveryByteGivesTheSameEvents) {
  const std::string page = kPage;
  const Events whole = RunBoth(page);
  ASSERT_GT(whole.size(), 10u);
  for (std::size_t split = 0; split <= page.size(); ++split) {
    hvtest::CRecordingParser parser;
    parser.Parse(page.data(), split);
    parser.Parse(page.data() + split, page.size() - split);
    ASSERT_EQ(parser.events, whole) << "split at " << split;
  }
}

TEST(SgmlFeeding, InterleavedParsersKeepTheirOwnCommentState) {
  const std::string one = "<!-- a -- b -->x<![ [ ]>y";
  const std::string two = "<!-- -- - >z-->w";
  hvtest::CRecordingParser first, second;
  for (std::size_t i = 0; i < std::max(one.size(), two.size()); ++i) {
    if (i < one.size()) first.Parse(&one[i], 1);
    if (i < two.size()) second.Parse(&two[i], 1);
  }
  EXPECT_EQ(first.events, Events({"t:-:xy"}));
  EXPECT_EQ(second.events, Events({"t:-:w"}));
  EXPECT_EQ(first.events, Record(one).events);
  EXPECT_EQ(second.events, Record(two).events);
}

// Pages that never finish what they start: memory follows the input, the
// tokenizer keeps going and recovers at the next '>'.
TEST(SgmlRobustness, UnfinishedConstructs) {
  const std::size_t big = 4 << 20;
  const std::string letters(big, 'x');
  for (std::size_t piece : {std::size_t{0}, std::size_t{4096}}) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(Record("<" + letters + ">a", piece).events, Events({"t:-:a"}));
    EXPECT_EQ(Record("<!-- " + letters, piece).events, Events());
    EXPECT_EQ(Record("<!" + std::string(big, '[') + ">", piece).events, Events());
    EXPECT_EQ(Record("<A>&#" + std::string(big, '9') + ";a", piece).events, Events({"s:A:3", "t:A:a"}));

    const hvtest::Recording name = Record("<A " + letters + " HREF>", piece);
    EXPECT_EQ(name.events, Events({"s:A:" + std::to_string(big + 9) + " HREF[" + std::to_string(big + 4) + "," +
                                   std::to_string(big + 7) + "]="}));

    // A value too long to keep counts as absent.
    EXPECT_EQ(Record("<A HREF=\"" + letters + "\">a", piece).events, Events({"s:A:" + std::to_string(big + 11), "t:A:a"}));
    const std::string longest(CSGMLParser::kMaxValueLength, 'x');
    const hvtest::Recording value = Record("<A HREF=\"" + longest + "\">a", piece);
    ASSERT_EQ(value.events.size(), 2u);
    EXPECT_TRUE(value.events[0] == "s:A:" + std::to_string(longest.size() + 11) + " HREF[3," +
                                       std::to_string(longest.size() + 9) + "]=" + longest);

    const hvtest::Recording entity = Record("<A>&" + letters + "</A>", piece);
    ASSERT_EQ(entity.events.size(), 3u);
    EXPECT_TRUE(entity.events[1] == "t:A:&" + letters);
  }
}

TEST(SgmlRobustness, DeepNesting) {
  const int depth = 100000;
  std::string page;
  for (int i = 0; i < depth; ++i) page += i % 2 ? "<A>" : "<MAP>";
  page += "</TITLE>x";
  const hvtest::Recording r = Record(page);
  ASSERT_EQ(r.events.size(), static_cast<std::size_t>(2 * depth));
  EXPECT_EQ(r.events[depth], "e:A");
  EXPECT_EQ(r.events[2 * depth - 2], "e:A");
  EXPECT_EQ(r.events.back(), "t:MAP:x");  // the outermost stays open
  EXPECT_TRUE(r.faults.empty());
}

}  // namespace
