// The contents page of an agent of 10,000 pages under 100 locations in 10
// folders, each page with a stored copy on disk: bin/contents_page_bench
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench_folder.h"
#include "contents_page.h"
#include "stopwatch.h"

namespace {

constexpr int kFolders = 10;
constexpr int kLocations = 100;
constexpr int kPages = 10000;
constexpr int kRuns = 5;

std::string Address(int page) { return "http://site.example/section/" + std::to_string(page) + ".html"; }

}  // namespace

int main() {
  const std::string folder = bench::MakeBenchFolder();
  if (folder.empty()) return 1;
  std::vector<HvCacheRecord> records;
  harvion::ChangeReport run;
  for (int page = 0; page < kPages; ++page) {
    HvCacheRecord record;
    record.address = Address(page);
    record.state = 3;
    char name[32];
    std::snprintf(name, sizeof name, "3S%06x.html", page);
    record.localFile = name;
    record.title = "A page of the site & its <title> number " + std::to_string(page);
    record.statusCode = 200;
    record.storedAt = record.lastRetrievalEnd = 1'765'000'000;
    std::ofstream(folder + "/" + name) << "x";
    if (page % 20 == 0) run.modified.push_back({.address = record.address, .localFile = name, .previousFile = {},
                                                .title = {}, .statusCode = 200, .statusText = "OK", .state = 3});
    records.push_back(std::move(record));
  }
  const harvion::ContentsIndex index = harvion::ContentsIndex::Of(records);
  std::vector<double> wall, cpu;
  std::uintmax_t size = 0;
  for (int runNumber = 0; runNumber < kRuns; ++runNumber) {
    const bench::Stopwatch watch;
    harvion::ContentsPage page(folder, index, &run);
    if (!page.Begin("Bench")) return 1;
    page.Enter({harvion::ContentsKind::agent, "Bench", ""});
    int next = 0;
    for (int f = 0; f < kFolders; ++f) {
      page.Enter({harvion::ContentsKind::folder, "Folder " + std::to_string(f), ""});
      for (int l = 0; l < kLocations / kFolders; ++l) {
        page.Enter({harvion::ContentsKind::location, "Location", Address(next++)});
        for (int p = 1; p < kPages / kLocations && next < kPages; ++p) {
          page.Enter({harvion::ContentsKind::page, "", Address(next++)});
          page.Leave();
        }
        page.Leave();
      }
      page.Leave();
    }
    page.Leave();
    if (!page.Finish()) return 1;
    const bench::Seconds took = watch.Elapsed();
    wall.push_back(took.wall);
    cpu.push_back(took.cpu);
    size = std::filesystem::file_size(page.Path());
  }
  std::printf("contents.html of %d pages (%ju bytes): %.1f ms wall, %.1f ms processor (median of %d; index of the "
              "records not counted)\n",
              kPages, size, bench::Median(wall) * 1000, bench::Median(cpu) * 1000, kRuns);
  std::filesystem::remove_all(folder);
  return 0;
}
