// Throughput of the HTML tokenizer alone: a generated corpus of pages like
// the ones agents retrieve (text, links, pictures, comments, references,
// tags the table does not know), fed in network-sized buffers to a parser
// whose hooks only count.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/html/sgml_parser.h"

namespace {

constexpr std::size_t kCorpusBytes = 64u << 20;
constexpr std::size_t kBufferBytes = 16u << 10;
constexpr int kRuns = 5;

const char* const kA[] = {"HREF", "NAME", "TARGET"};
const char* const kArea[] = {"ALT", "COORDS", "HREF", "NOHREF", "SHAPE", "TARGET"};
const char* const kBase[] = {"HREF", "TARGET"};
const char* const kBody[] = {"BACKGROUND"};
const char* const kEmbed[] = {"HEIGHT", "SRC", "WIDTH"};
const char* const kFrame[] = {"NAME", "SRC"};
const char* const kImg[] = {"ALIGN", "ALT", "BORDER", "HEIGHT", "LOWSRC", "SRC", "USEMAP", "WIDTH"};
const char* const kMap[] = {"NAME"};
const char* const kMeta[] = {"CONTENT", "HTTP-EQUIV", "NAME"};

// The tags a retrieval follows links in.
const SGMLTagDef kTags[] = {
    {"A", kA, 3, 5},          {"AREA", kArea, 6, 1},   {"BASE", kBase, 2, 1},   {"BODY", kBody, 1, 5},
    {"EMBED", kEmbed, 3, 1},  {"FRAME", kFrame, 2, 1}, {"IMG", kImg, 8, 1},     {"MAP", kMap, 1, 5},
    {"META", kMeta, 3, 1},    {"TITLE", nullptr, 0, 5},
};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100};

struct Counts {
  std::uint64_t characters = 0, checksum = 0, starts = 0, ends = 0, attributes = 0;
};

class CCountingParser : public CSGMLParser {
 public:
  explicit CCountingParser(Counts& counts) : CSGMLParser(&kDtd), m_counts(counts) {}

 protected:
  void OnCharacter(const SGMLTagDef*, int tagIndex, int code) override {
    ++m_counts.characters;
    m_counts.checksum += static_cast<unsigned>(code) + static_cast<unsigned>(tagIndex);
  }
  void OnStartTag(const SGMLTagDef* tag, int, int, CSGMLAttribute* slots) override {
    ++m_counts.starts;
    for (int i = 0; i < tag->attributeCount; ++i) m_counts.attributes += slots[i].m_bPresent;
  }
  void OnEndTag(const SGMLTagDef*, int) override { ++m_counts.ends; }

 private:
  Counts& m_counts;
};

class Random {
 public:
  std::uint32_t Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

 private:
  std::uint32_t m_state = 2463534242u;
};

const char* const kWords[] = {"the",   "agent",   "retrieves", "pages",  "of",      "a",        "site",
                              "and",   "stores",  "them",      "for",    "reading", "offline",  "with",
                              "links", "pictures", "news",     "index",  "Müller",  "café",     "über",
                              "price", "1998",    "version",   "update", "home",    "download", "contact"};
const char* const kEntities[] = {"&amp;", "&eacute;", "&nbsp;", "&copy;", "&#169;", "&lt;", "&gt;", "&uuml;", "&quot;"};
const char* const kUnknownOpen[] = {"<P>", "<B>", "<I>", "<FONT SIZE=\"+1\" COLOR=#FF0000>", "<TD ALIGN=left>",
                                    "<TR>", "<CENTER>", "<H2>", "<LI>", "<TABLE BORDER=0 CELLPADDING=\"2\">"};
const char* const kUnknownClose[] = {"</P>", "</B>", "</I>", "</FONT>", "</TD>", "</TR>", "</CENTER>", "</H2>"};

void Words(Random& r, std::string& out, int n) {
  for (int i = 0; i < n; ++i) {
    out += r.Pick(kWords);
    out += r.Below(12) == 0 ? "\n" : " ";
  }
}

void Page(Random& r, std::string& out, int page) {
  const std::string id = std::to_string(page);
  out += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\n<HTML>\n<HEAD>\n<TITLE>Page " + id +
         " &amp; more</TITLE>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">\n"
         "<META NAME=keywords CONTENT='agent, offline, pages'>\n</HEAD>\n<BODY BACKGROUND=\"img/back.gif\">\n"
         "<!-- navigation bar -->\n";
  const int blocks = 20 + static_cast<int>(r.Below(30));
  for (int b = 0; b < blocks; ++b) {
    switch (r.Below(8)) {
      case 0:
      case 1:
        out += r.Pick(kUnknownOpen);
        Words(r, out, 10 + static_cast<int>(r.Below(40)));
        out += r.Pick(kEntities);
        Words(r, out, 5);
        out += r.Pick(kUnknownClose);
        out += "\n";
        break;
      case 2:
      case 3:
        out += "<A HREF=\"http://www.example.com/section" + std::to_string(r.Below(40)) + "/page" +
               std::to_string(r.Below(5000)) + ".html\">";
        Words(r, out, 1 + static_cast<int>(r.Below(4)));
        out += "</A> | <a href=../docs/item" + std::to_string(r.Below(900)) + ".htm target=_top>";
        Words(r, out, 2);
        out += "</a>\n";
        break;
      case 4:
        out += "<IMG SRC=\"images/pic" + std::to_string(r.Below(300)) + ".gif\" ALT='Picture of " +
               r.Pick(kWords) + "' WIDTH=120 HEIGHT=\"80\" BORDER=0 onMouseOver=\"window.status='x';\">\n";
        break;
      case 5:
        out += "<!-- generated by the site builder, do not edit -- >\n";
        Words(r, out, 8);
        out += "&copy; 1998 Example &amp; Co.&nbsp;a < b\n";
        break;
      case 6:
        out += "<MAP NAME=\"nav\"><AREA SHAPE=rect COORDS=\"0,0,80,20\" HREF=\"/index.html\" ALT=\"Home\">"
               "<AREA SHAPE=\"rect\" COORDS='80,0,160,20' HREF=/news.html></MAP>\n";
        break;
      default:
        out += "<TABLE><TR><TD>";
        Words(r, out, 6);
        out += "</TD><TD><A HREF=\"#top\" NAME=x" + std::to_string(b) + ">top</A></TD></TR></TABLE>\n";
        break;
    }
  }
  out += "</BODY>\n</HTML>\n";
}

}  // namespace

int main() {
  std::string corpus;
  corpus.reserve(kCorpusBytes + (64u << 10));
  Random random;
  int pages = 0;
  std::vector<std::size_t> pageEnds;
  while (corpus.size() < kCorpusBytes) {
    Page(random, corpus, pages++);
    pageEnds.push_back(corpus.size());
  }

  std::vector<double> seconds;
  Counts totals;
  for (int run = 0; run < kRuns; ++run) {
    totals = Counts();
    const auto start = std::chrono::steady_clock::now();
    // One parser per page, as retrieval uses them.
    std::size_t begin = 0;
    for (std::size_t end : pageEnds) {
      CCountingParser parser(totals);
      for (std::size_t at = begin; at < end; at += kBufferBytes)
        parser.Parse(corpus.data() + at, std::min(kBufferBytes, end - at));
      begin = end;
    }
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  const double megabytes = static_cast<double>(corpus.size()) / (1u << 20);
  std::printf("sgml tokenizer: %.1f MB in %d pages; %llu characters, %llu start tags, %llu end tags, "
              "%llu attributes (checksum %llu)\n",
              megabytes, pages, static_cast<unsigned long long>(totals.characters),
              static_cast<unsigned long long>(totals.starts), static_cast<unsigned long long>(totals.ends),
              static_cast<unsigned long long>(totals.attributes), static_cast<unsigned long long>(totals.checksum));
  std::printf("sgml tokenizer: best %.1f MB/s, median %.1f MB/s (%d runs)\n", megabytes / seconds.front(),
              megabytes / seconds[seconds.size() / 2], kRuns);
  return 0;
}
