// Throughput of stored stylesheets: a generated corpus of stylesheets like
// those of today's sites (rules, comments, strings, url() pictures and
// fonts, @import, inline data) goes through the CSS scanner alone, then
// through the rewriter that hands each reference over as a link and writes
// the copy into a cache in a temporary folder (TMPDIR=/dev/shm for tmpfs),
// fed in network-sized buffers. A plain loop over every byte of the same
// corpus gives the figure to compare with.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "engine/html/css_rewriter.h"
#include "page_corpus.h"
#include "platform/files/file_system.h"
#include "stopwatch.h"

namespace {

constexpr std::size_t kCorpusBytes = 32u << 20;
constexpr std::size_t kSheetBytes = 64u << 10;
constexpr std::size_t kBufferBytes = 16u << 10;
constexpr int kRuns = 3;

const char* const kProperties[] = {"color: #333", "margin: 0 auto", "padding: 4px 8px", "font-size: 1.2em",
                                   "display: flex", "border: 1px solid rgba(0,0,0,.1)", "line-height: 1.5",
                                   "transition: opacity .2s ease-in-out", "content: \"\\201C\""};
const char* const kSelectors[] = {".nav > li a:hover", "#main .content p", "body", "h1, h2, h3",
                                  ".btn-primary:not(.disabled)", "table.docs td code", "@media (max-width: 600px) {"};

std::string MakeSheet(bench::Random& r, int sheet) {
  std::string out = "/* stylesheet " + std::to_string(sheet) + " */\n@import url(\"base" +
                    std::to_string(sheet % 7) + ".css\");\n";
  while (out.size() < kSheetBytes) {
    out += r.Pick(kSelectors);
    out += " {\n";
    for (int i = 0, n = 2 + static_cast<int>(r.Below(6)); i < n; ++i) {
      out += "  ";
      switch (r.Below(12)) {
        case 0:
          out += "background: url(../img/pic" + std::to_string(r.Below(200)) + ".png) no-repeat";
          break;
        case 1:
          out += "src: url('../fonts/font" + std::to_string(r.Below(20)) + ".woff2') format(\"woff2\")";
          break;
        case 2:
          out += "/* url(commented.png) was here */ background-image: none";
          break;
        case 3:
          if (r.Below(8) == 0) {
            out += "background: url(data:image/png;base64," + std::string(600, 'Q') + ")";
            break;
          }
          [[fallthrough]];
        default:
          out += r.Pick(kProperties);
      }
      out += ";\n";
    }
    out += "}\n";
  }
  return out;
}

class Owner : public CLinkOwner {
 public:
  Owner(CCache& cache, CPageDescr* page) : m_cache(cache), m_page(page) {}
  CPageDescr* OwnerPage() override { return m_page; }
  CAnchor* AddLink(const std::string& address, int linkType, bool, CPageChild* existing,
                   CPageChild** record, CPageDescr** target) override {
    CPageDescr* found = m_page->AddLink(m_cache, address, linkType, existing, record);
    if (found) CCache::Lock().unlock();
    if (target) *target = found;
    ++links;
    return nullptr;
  }
  void CompleteLink(CAnchor*) override {}
  void ReleaseLink(CAnchor*) override {}
  void SetTitle(const std::string&) override {}
  std::uint64_t links = 0;

 private:
  CCache& m_cache;
  CPageDescr* m_page;
};

class Counter : public CCssScanner {
 public:
  std::uint64_t references = 0;

 protected:
  void OnReference(const Reference&) override { ++references; }
};

template <typename Body>
double MedianMBs(double megabytes, Body body) {
  std::vector<double> cpu;
  for (int run = 0; run < kRuns; ++run) {
    const bench::Stopwatch stopwatch;
    body();
    cpu.push_back(stopwatch.Elapsed().cpu);
  }
  return megabytes / std::max(bench::Median(cpu), 1e-9);
}

}  // namespace

int main() {
  bench::Random random;
  std::vector<std::string> sheets;
  std::size_t total = 0;
  while (total < kCorpusBytes) {
    sheets.push_back(MakeSheet(random, static_cast<int>(sheets.size())));
    total += sheets.back().size();
  }
  const double megabytes = static_cast<double>(total) / (1u << 20);

  std::uint64_t sum = 0;
  const double loop = MedianMBs(megabytes, [&] {
    for (const std::string& sheet : sheets)
      for (const char c : sheet) sum += static_cast<unsigned char>(c) == '(' ? 1 : 0;
  });

  std::uint64_t references = 0;
  const double scanner = MedianMBs(megabytes, [&] {
    references = 0;
    for (const std::string& sheet : sheets) {
      Counter counter;
      for (std::size_t at = 0; at < sheet.size(); at += kBufferBytes)
        counter.Scan(sheet.data() + at, std::min(kBufferBytes, sheet.size() - at));
      counter.Finish();
      references += counter.references;
    }
  });

  const std::string folder = bench::MakeBenchFolder();
  if (folder.empty()) return 1;
  std::uint64_t links = 0, failed = 0;
  double rewriter = 0;
  {
    CCache cache(folder);
    cache.CheckPlaceholder();
    // Half of the pictures are stored.
    for (int i = 0; i < 200; i += 2) {
      const std::string address = "http://bench.example/img/pic" + std::to_string(i) + ".png";
      CPageDescr* record = cache.FindOrCreate(address);
      cache.AssignFileName(address, record);
      record->m_nState = CPageDescr::kStored;
      record->m_nCopyKept = 2;
    }
    std::vector<CPageDescr*> records;
    for (int i = 0; i < 64; ++i) {
      const std::string address = "http://bench.example/css/s" + std::to_string(i) + ".css";
      records.push_back(cache.FindOrCreate(address));
      cache.AssignFileName(address, records.back());
    }
    rewriter = MedianMBs(megabytes, [&] {
      links = failed = 0;
      for (std::size_t i = 0; i < sheets.size(); ++i) {
        CPageDescr* page = records[i % records.size()];
        page->ClearLinks();
        Owner owner(cache, page);
        CCssRewriter rewriting(cache, page, &owner);
        rewriting.OpenFiles();
        const std::string& sheet = sheets[i];
        for (std::size_t at = 0; at < sheet.size(); at += kBufferBytes)
          rewriting.Parse(sheet.data() + at, std::min(kBufferBytes, sheet.size() - at));
        failed += rewriting.Finish() != 1;
        links += owner.links;
      }
    });
  }
  hv::fs::RemoveTree(folder);

  std::printf("css: %.1f MB in %zu stylesheets, %llu references, %llu links, %llu copies not finished (%llu)\n",
              megabytes, sheets.size(), static_cast<unsigned long long>(references),
              static_cast<unsigned long long>(links), static_cast<unsigned long long>(failed),
              static_cast<unsigned long long>(sum % 10));
  std::printf("css: median of %d runs by processor time: byte loop %.1f MB/s, scanner %.1f MB/s, "
              "rewriter with copies %.1f MB/s\n",
              kRuns, loop, scanner, rewriter);
  return failed == 0 ? 0 : 1;
}
