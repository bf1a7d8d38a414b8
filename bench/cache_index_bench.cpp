// Saving and loading a large cache index (that of an agent of some 80,000
// pages), as at the end and the start of every agent's run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "engine/cache/cache.h"
#include "platform/files/file_system.h"

namespace {

constexpr int kRuns = 7;
constexpr int kKeys = 200000;

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Two of three records stored under a local file key, a few links each, and
// response headers as a real retrieval leaves them.
void Fill(CCache& cache) {
  int page = 0;
  while (cache.KeyCount() < kKeys) {
    const std::string address = "http://www.example.com/section" + std::to_string(page % 37) + "/page" +
                                std::to_string(page) + (page % 5 == 0 ? ".gif" : ".html");
    CPageDescr* record = cache.FindOrCreate(address);
    record->m_strStatusLine = "HTTP/1.0 200 OK";
    record->m_nStatusCode = 200;
    record->m_strStatusText = "OK";
    record->m_strContentType = page % 5 == 0 ? "image/gif" : "text/html";
    record->m_strLastModifiedText = "Mon, 02 Mar 1998 10:20:30 GMT";
    record->m_strTitle = "Page " + std::to_string(page);
    record->m_tStoredAt = 889000000u + static_cast<unsigned>(page);
    if (page % 3 != 2 && cache.KeyCount() < kKeys) {
      cache.AssignFileName(address, record);
      record->m_nState = CPageDescr::kStored;
    }
    for (int l = 1; l <= 3; ++l) {
      auto link = std::make_unique<CPageChild>();
      link->m_nLinkType = l == 3 ? CPageChild::kEmbedded : CPageChild::kPage;
      link->m_strAddress = "http://www.example.com/page" + std::to_string(page + l) + ".html";
      link->m_strTitle = "link " + std::to_string(l);
      record->m_links.push_back(std::move(link));
    }
    ++page;
  }
}

void Report(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("%s %d keys: best %.1f ms, median %.1f ms\n", what, kKeys, times.front(),
              times[times.size() / 2]);
}

}  // namespace

int main() {
  const std::string dir = bench::MakeBenchFolder();
  if (dir.empty()) return 1;
  const std::string folder = hv::fs::JoinPath(dir, "Agent");

  std::vector<double> saves, loads;
  int keys = 0;
  {
    CCache cache(folder);
    Fill(cache);
    keys = cache.KeyCount();
    for (int i = 0; i < kRuns; ++i) {
      const auto start = std::chrono::steady_clock::now();
      if (!cache.Save()) {
        std::fprintf(stderr, "save failed\n");
        hv::fs::RemoveTree(dir);
        return 1;
      }
      saves.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    }
  }
  for (int i = 0; i < kRuns; ++i) {
    CCache cache(folder);
    const auto start = std::chrono::steady_clock::now();
    cache.Open();
    loads.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    if (cache.KeyCount() < keys) {
      std::fprintf(stderr, "load lost keys: %d of %d\n", cache.KeyCount(), keys);
      hv::fs::RemoveTree(dir);
      return 1;
    }
  }
  std::printf("index file: %lld bytes\n",
              static_cast<long long>(hv::fs::FileSize(hv::fs::JoinPath(folder, "Harvion Cache.hvc"))));
  Report("save", saves);
  Report("load", loads);
  hv::fs::RemoveTree(dir);
  return 0;
}
