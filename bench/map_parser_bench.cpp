// Throughput of the parser of retrieved pages with its stored copies: a
// generated corpus of pages like the ones agents retrieve (text, many links,
// pictures, comments, references, forms, tags the table does not know) goes
// through a map parser each, fed in network-sized buffers, which hands the
// links to the page's record and writes the rewritten copy into a cache in a
// temporary folder where half of the link targets are stored.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "engine/html/map_parser.h"
#include "page_corpus.h"
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
                   CPageChild** record) override {
    if (m_page->AddLink(m_cache, address, linkType, existing, record)) CCache::Lock().unlock();
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
                                      "http://bench.example/dir/images/go.gif"};
  for (int s = 0; s < 10; ++s)
    for (int p = 0; p < 100; ++p)
      targets.push_back("http://www.example.com/section" + std::to_string(s) + "/page" + std::to_string(p) + ".html");
  for (int i = 0; i < 200; ++i) targets.push_back("http://bench.example/docs/item" + std::to_string(i) + ".htm");
  for (int i = 0; i < 100; ++i) targets.push_back("http://bench.example/dir/images/pic" + std::to_string(i) + ".gif");
  for (std::size_t i = 0; i < targets.size(); i += 2) {
    CPageDescr* record = cache.FindOrCreate(targets[i]);
    cache.AssignFileName(targets[i], record);
    record->m_nState = CPageDescr::kStored;
    record->m_nCopyKept = 2;
  }
}

}  // namespace

int main() {
  std::vector<std::size_t> pageEnds;
  const std::string corpus = bench::MakeCorpus(kCorpusBytes, pageEnds);

  std::string folder = hv::fs::JoinPath(hv::fs::TempDirectory(), "hvbench.XXXXXX");
  if (!::mkdtemp(folder.data())) {
    std::fprintf(stderr, "map parser: cannot make a temporary folder\n");
    return 1;
  }
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

  std::vector<double> seconds;
  std::uint64_t links = 0, written = 0, failed = 0;
  for (int run = 0; run < kRuns; ++run) {
    links = written = failed = 0;
    const auto start = std::chrono::steady_clock::now();
    std::size_t begin = 0;
    for (std::size_t i = 0; i < pageEnds.size(); ++i) {
      CPageDescr* page = pages[i % pages.size()];
      page->ClearLinks();
      Owner owner(cache, page);
      CMapParser parser(cache, &owner, false);
      for (std::size_t at = begin; at < pageEnds[i]; at += kBufferBytes)
        parser.Parse(corpus.data() + at, std::min(kBufferBytes, pageEnds[i] - at));
      failed += parser.Finish() != 1;
      links += owner.links;
      begin = pageEnds[i];
    }
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  for (CPageDescr* page : pages) written += static_cast<std::uint64_t>(hv::fs::FileSize(cache.PathOf(page->m_strLocalFile)));
  hv::fs::RemoveTree(folder);

  std::sort(seconds.begin(), seconds.end());
  const double megabytes = static_cast<double>(corpus.size()) / (1u << 20);
  std::printf("map parser: %.1f MB in %zu pages, %llu links, %llu pages not finished; last %d copies %llu bytes\n",
              megabytes, pageEnds.size(), static_cast<unsigned long long>(links),
              static_cast<unsigned long long>(failed), kPageRecords, static_cast<unsigned long long>(written));
  std::printf("map parser: best %.1f MB/s, median %.1f MB/s (%d runs)\n", megabytes / seconds.front(),
              megabytes / seconds[seconds.size() / 2], kRuns);
  return failed == 0 ? 0 : 1;
}
