// Throughput of the parser of retrieved pages with its stored copies: a
// generated corpus of pages like the ones agents retrieve (text, many links,
// pictures, comments, references, forms, tags the table does not know,
// stylesheets, scripts, srcset pictures, media and inline frames) goes
// through a map parser each, fed in network-sized buffers, which hands the
// links to the page's record and writes the rewritten copy into a cache in a
// temporary folder where half of the link targets are stored.
//
//   map_parser_bench [--site FOLDER]
//
// With --site the corpus is the HTML files of a real site copy instead (up
// to the same size, in name order), whose link density is a site's own.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "engine/html/map_parser.h"
#include "page_corpus.h"
#include "stopwatch.h"
#include "platform/files/file_system.h"

namespace {

constexpr std::size_t kCorpusBytes = 32u << 20;
constexpr std::size_t kBufferBytes = 16u << 10;
constexpr int kRuns = 3;
constexpr int kPageRecords = 256;  // pages are stored under these in turn

// The page's location as a retrieval would be: every link is recorded on the
// page; no child locations are made.
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

// Half of the addresses the corpus links to have a stored copy.
void StoreHalfTheTargets(CCache& cache) {
  std::vector<std::string> targets = {"http://bench.example/index.html", "http://bench.example/news.html",
                                      "http://bench.example/dir/images/back.gif",
                                      "http://bench.example/dir/images/go.gif", "http://bench.example/css/site.css",
                                      "http://bench.example/favicon.ico", "http://bench.example/js/app.js",
                                      "http://bench.example/fonts/text.woff2", "http://bench.example/media/clip.mp4",
                                      "http://bench.example/embed/map.html"};
  for (int s = 0; s < 10; ++s)
    for (int p = 0; p < 100; ++p)
      targets.push_back("http://www.example.com/section" + std::to_string(s) + "/page" + std::to_string(p) + ".html");
  for (int i = 0; i < 200; ++i) targets.push_back("http://bench.example/docs/item" + std::to_string(i) + ".htm");
  for (int i = 0; i < 100; ++i)
    for (const char* variant : {".gif", "@2x.gif", ".webp", "@2x.webp"})
      targets.push_back("http://bench.example/dir/images/pic" + std::to_string(i) + variant);
  for (std::size_t i = 0; i < targets.size(); i += 2) {
    CPageDescr* record = cache.FindOrCreate(targets[i]);
    cache.AssignFileName(targets[i], record);
    record->m_nState = CPageDescr::kStored;
    record->m_nCopyKept = 2;
  }
}

// FNV-1a, to compare the copies and links of two builds.
std::uint64_t Hash(std::uint64_t hash, const std::string& bytes) {
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211u;
  return hash;
}

// Parses one page into its record's copy.
bool ParsePage(CCache& cache, CPageDescr* page, const char* data, std::size_t size, std::uint64_t& links) {
  page->ClearLinks();
  Owner owner(cache, page);
  CMapParser parser(cache, &owner, false);
  for (std::size_t at = 0; at < size; at += kBufferBytes) parser.Parse(data + at, std::min(kBufferBytes, size - at));
  links += owner.links;
  return parser.Finish() == 1;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

// The HTML files under folder, in name order, up to bytes.
std::string SiteCorpus(const std::string& folder, std::size_t bytes, std::vector<std::size_t>& pageEnds) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string ext = it->path().extension().string();
    if (it->is_regular_file(error) && (ext == ".html" || ext == ".htm")) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  std::string corpus;
  for (const auto& file : files) {
    if (corpus.size() >= bytes) break;
    corpus += ReadFile(file.string());
    pageEnds.push_back(corpus.size());
  }
  return corpus;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> pageEnds;
  const bool site = argc == 3 && std::strcmp(argv[1], "--site") == 0;
  if (argc != 1 && !site) {
    std::fprintf(stderr, "usage: map_parser_bench [--site FOLDER]\n");
    return 2;
  }
  const std::string corpus =
      site ? SiteCorpus(argv[2], kCorpusBytes, pageEnds) : bench::MakeCorpus(kCorpusBytes, pageEnds);
  if (corpus.empty()) {
    std::fprintf(stderr, "no HTML files in %s\n", argv[2]);
    return 1;
  }

  const std::string folder = bench::MakeBenchFolder();
  if (folder.empty()) return 1;
  CCache cache(folder);
  cache.CheckPlaceholder();
  StoreHalfTheTargets(cache);
  std::vector<CPageDescr*> pages;
  for (int i = 0; i < kPageRecords; ++i) {
    const std::string address = "http://bench.example/dir/p" + std::to_string(i) + ".html";
    CPageDescr* page = cache.FindOrCreate(address);
    cache.AssignFileName(address, page);
    page->m_nState = CPageDescr::kRetrieving;
    pages.push_back(page);
  }

  std::vector<double> wall, cpu;
  std::uint64_t links = 0, written = 0, failed = 0;
  for (int run = 0; run < kRuns; ++run) {
    links = written = failed = 0;
    const bench::Stopwatch stopwatch;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < pageEnds.size(); ++i) {
      failed += !ParsePage(cache, pages[i % pages.size()], corpus.data() + begin, pageEnds[i] - begin, links);
      begin = pageEnds[i];
    }
    const bench::Seconds elapsed = stopwatch.Elapsed();
    wall.push_back(elapsed.wall);
    cpu.push_back(elapsed.cpu);
  }
  for (CPageDescr* page : pages)
    written += static_cast<std::uint64_t>(hv::fs::FileSize(cache.PathOf(page->m_strLocalFile)));

  // Untimed: every page's copy and links once more, hashed.
  std::uint64_t hash = 14695981039346656037u, checked = 0;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < pageEnds.size(); ++i) {
    CPageDescr* page = pages[i % pages.size()];
    ParsePage(cache, page, corpus.data() + begin, pageEnds[i] - begin, checked);
    hash = Hash(hash, ReadFile(cache.PathOf(page->m_strLocalFile)));
    for (const auto& link : page->m_links) hash = Hash(Hash(hash, link->m_strAddress), link->m_strTitle);
    begin = pageEnds[i];
  }
  hv::fs::RemoveTree(folder);
  std::printf("map parser: copies and links hash %016llx\n", static_cast<unsigned long long>(hash));

  const double megabytes = static_cast<double>(corpus.size()) / (1u << 20);
  std::printf("map parser: corpus %s\n", site ? argv[2] : "generated");
  std::printf("map parser: %.1f MB in %zu pages, %llu links, %llu pages not finished; last %d copies %llu bytes\n",
              megabytes, pageEnds.size(), static_cast<unsigned long long>(links),
              static_cast<unsigned long long>(failed), kPageRecords, static_cast<unsigned long long>(written));
  std::printf("map parser: median of %d runs %.1f MB/s by wall time, %.1f MB/s by processor time\n", kRuns,
              megabytes / bench::Median(wall), megabytes / bench::Median(cpu));
  return failed == 0 ? 0 : 1;
}
