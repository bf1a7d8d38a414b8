// The change report of an agent of 10,000 pages of which a run modified 500:
// harvion changes in text, and the changes.html a run's end writes, with
// the time spent reading the stored and earlier copies apart from the rest.
// Files go to TMPDIR, /dev/shm when it is not set: bin/change_report_bench
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench_folder.h"
#include "change_output.h"
#include "change_view.h"
#include "page_corpus.h"
#include "run_log.h"
#include "stopwatch.h"

namespace {

constexpr int kPages = 10000;
constexpr int kModified = 500;
constexpr int kRuns = 5;

std::string FileName(int page) {
  char name[32];
  std::snprintf(name, sizeof name, "3S%06x.html", page);
  return name;
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A few words changed in a few places, as an edited page has.
std::string Edited(std::string page) {
  std::size_t at = 0;
  for (int place = 0; place < 4; ++place) {
    at = page.find(" site ", at + 2000);
    if (at == std::string::npos) break;
    page.replace(at, 6, " place ");
  }
  return page;
}

// The stored copies of every page, an earlier copy of each modified one, and
// the log of the run that modified them.
std::size_t MakeAgent(const std::string& folder) {
  std::filesystem::create_directories(folder + "/previous");
  bench::Random random;
  std::size_t bytes = 0;
  harvion::LoggedRun run;
  run.start = 1765000000;
  run.end = run.start + 60;
  for (int page = 0; page < kPages; ++page) {
    std::string text;
    bench::Page(random, text, page);
    const bool modified = page % (kPages / kModified) == 0;
    if (modified) {
      Write(folder + "/previous/" + FileName(page), text);
      text = Edited(text);
      run.pages.push_back({harvion::ChangeKind::modified, "http://www.example.com/section/page" + std::to_string(page) +
                           ".html", "Page " + std::to_string(page), FileName(page), "previous/" + FileName(page), ""});
    }
    Write(folder + "/" + FileName(page), text);
    bytes += text.size();
  }
  run.counts[1] = run.pages.size();
  std::string error;
  if (!harvion::RunLog::Append(folder, run, error)) std::fprintf(stderr, "cannot write the run log: %s\n", error.c_str());
  return bytes;
}

struct Timing {
  std::vector<double> total, reading;
};

template <class Build>
void Measure(const char* what, Build build) {
  Timing timing;
  std::size_t size = 0;
  for (int i = 0; i < kRuns; ++i) {
    harvion::CopyReading reading;
    const bench::Stopwatch watch;
    size = build(reading);
    timing.total.push_back(watch.Elapsed().wall);
    timing.reading.push_back(reading.seconds);
  }
  const double total = bench::Median(timing.total), reading = bench::Median(timing.reading);
  std::printf("%-16s median of %d: %7.1f ms in all, %7.1f ms reading copies, %7.1f ms beyond that (%zu bytes out)\n",
              what, kRuns, total * 1000, reading * 1000, (total - reading) * 1000, size);
}

}  // namespace

int main() {
  ::setenv("TMPDIR", "/dev/shm", 0);
  const std::string folder = bench::MakeBenchFolder();
  if (folder.empty()) return 1;
  const std::size_t bytes = MakeAgent(folder);
  std::printf("agent of %d pages (%.1f MB), %d modified, in %s\n", kPages, bytes / 1e6, kModified, folder.c_str());

  Measure("changes (text)", [&](harvion::CopyReading& reading) {
    std::vector<harvion::LoggedRun> runs = harvion::RunLog::Read(folder);
    const harvion::ChangeView view = harvion::MakeChangeView("Bench", folder, std::move(runs.back()), true, &reading);
    std::ostringstream out;
    harvion::WriteChangesText(out, view);
    return out.str().size();
  });
  Measure("changes.html", [&](harvion::CopyReading& reading) {
    std::vector<harvion::LoggedRun> runs = harvion::RunLog::Read(folder);
    const harvion::ChangeView view = harvion::MakeChangeView("Bench", folder, std::move(runs.back()), true, &reading);
    const std::string html = harvion::ChangesHtml(view);
    std::string error;
    if (!harvion::ReplaceFile(folder + "/changes.html", html, error)) std::fprintf(stderr, "%s\n", error.c_str());
    return html.size();
  });
  std::filesystem::remove_all(folder);
  return 0;
}
