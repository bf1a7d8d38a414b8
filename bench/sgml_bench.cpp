// Throughput of the HTML tokenizer alone: a generated corpus of pages like
// the ones agents retrieve (text, links, pictures, comments, references,
// tags the table does not know), fed in network-sized buffers to a parser
// whose hooks only count: once taking text in runs, as the page parsers do,
// once a character at a time. A plain loop over the same buffers that looks
// at every byte once gives the ceiling.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/html/sgml_parser.h"
#include "page_corpus.h"
#include "stopwatch.h"

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
  bool operator==(const Counts&) const = default;
};

class CCountingParser : public CSGMLParser {
 public:
  CCountingParser(Counts& counts, bool runs) : CSGMLParser(&kDtd), m_counts(counts), m_bRuns(runs) {}

 protected:
  void OnCharacter(const SGMLTagDef*, int tagIndex, int code) override {
    ++m_counts.characters;
    m_counts.checksum += static_cast<unsigned>(code) + static_cast<unsigned>(tagIndex);
  }
  void OnText(const SGMLTagDef* tag, int tagIndex, const char* text, std::size_t length) override {
    if (!m_bRuns) return CSGMLParser::OnText(tag, tagIndex, text, length);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(text[i]);
    m_counts.characters += length;
    m_counts.checksum += sum + length * static_cast<unsigned>(tagIndex);
  }
  void OnStartTag(const SGMLTagDef* tag, int, int, CSGMLAttribute* slots) override {
    ++m_counts.starts;
    for (int i = 0; i < tag->attributeCount; ++i) m_counts.attributes += slots[i].m_bPresent;
  }
  void OnEndTag(const SGMLTagDef*, int) override { ++m_counts.ends; }

 private:
  Counts& m_counts;
  bool m_bRuns;
};

double Megabytes(const std::string& corpus) { return static_cast<double>(corpus.size()) / (1u << 20); }

// Runs page(data, size) over every page of the corpus kRuns times; the
// median wall and processor seconds of a run.
template <typename Page>
bench::Seconds Time(const std::string& corpus, const std::vector<std::size_t>& pageEnds, Page page) {
  std::vector<double> wall, cpu;
  for (int run = 0; run < kRuns; ++run) {
    const bench::Stopwatch stopwatch;
    std::size_t begin = 0;
    for (std::size_t end : pageEnds) {
      page(corpus.data() + begin, end - begin);
      begin = end;
    }
    const bench::Seconds elapsed = stopwatch.Elapsed();
    wall.push_back(elapsed.wall);
    cpu.push_back(elapsed.cpu);
  }
  return {bench::Median(wall), bench::Median(cpu)};
}

// Hands the page to parse(data, size) in network-sized buffers.
template <typename Parse>
void InBuffers(const char* page, std::size_t size, Parse parse) {
  for (std::size_t at = 0; at < size; at += kBufferBytes) parse(page + at, std::min(kBufferBytes, size - at));
}

// One parser per page, as retrieval uses them; totals are those of one run.
bench::Seconds TimeTokenizer(const std::string& corpus, const std::vector<std::size_t>& pageEnds, bool runs,
                                  Counts& totals) {
  return Time(corpus, pageEnds, [&](const char* page, std::size_t size) {
    if (page == corpus.data()) totals = Counts();
    CCountingParser parser(totals, runs);
    InBuffers(page, size, [&parser](const char* data, std::size_t n) { parser.Parse(data, n); });
  });
}

}  // namespace

int main() {
  std::vector<std::size_t> pageEnds;
  const std::string corpus = bench::MakeCorpus(kCorpusBytes, pageEnds);
  const double megabytes = Megabytes(corpus);

  // Tags seen by a loop with one bit of state, so that it must look at
  // every byte in turn as a tokenizer does.
  std::uint64_t tags = 0;
  const bench::Seconds ceiling = Time(corpus, pageEnds, [&tags](const char* page, std::size_t size) {
    bool inTag = false;
    InBuffers(page, size, [&](const char* data, std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) {
        if (data[i] == '<') {
          inTag = true;
        } else if (data[i] == '>' && inTag) {
          inTag = false;
          ++tags;
        }
      }
    });
  });

  Counts runTotals, characterTotals;
  const bench::Seconds runs = TimeTokenizer(corpus, pageEnds, true, runTotals);
  const bench::Seconds characters = TimeTokenizer(corpus, pageEnds, false, characterTotals);

  std::printf("sgml tokenizer: %.1f MB in %zu pages; %llu characters, %llu start tags, %llu end tags, "
              "%llu attributes (checksum %llu)\n",
              megabytes, pageEnds.size(), static_cast<unsigned long long>(runTotals.characters),
              static_cast<unsigned long long>(runTotals.starts), static_cast<unsigned long long>(runTotals.ends),
              static_cast<unsigned long long>(runTotals.attributes),
              static_cast<unsigned long long>(runTotals.checksum));
  std::printf("median of %d runs, by processor time (by wall time in brackets):\n", kRuns);
  const auto report = [&](const char* what, const bench::Seconds& seconds) {
    std::printf("%-30s %7.1f MB/s (%7.1f), %3.0f%% of the byte loop\n", what, megabytes / seconds.cpu,
                megabytes / seconds.wall, 100.0 * ceiling.cpu / seconds.cpu);
  };
  report("sgml tokenizer, text in runs:", runs);
  report("sgml tokenizer, by character:", characters);
  report("byte loop (ceiling):", ceiling);
  if (!(runTotals == characterTotals)) {
    std::fprintf(stderr, "sgml tokenizer: runs and characters give different counts\n");
    return 1;
  }
  return tags > 0 ? 0 : 1;
}
