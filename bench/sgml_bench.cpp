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
#include "page_corpus.h"

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

}  // namespace

int main() {
  std::vector<std::size_t> pageEnds;
  const std::string corpus = bench::MakeCorpus(kCorpusBytes, pageEnds);
  const int pages = static_cast<int>(pageEnds.size());

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
