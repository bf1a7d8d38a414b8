// Mirrors one generated site with `harvion run` and with wget, side by side:
// plain loopback to nginx, then through a proxy that holds every request
// 20 ms; then an update run of each after 9 pages changed and 2 went away.
// Run by hand:
//   bin/mirror_bench [--harvion PATH] [--pages N] [--images N] [--delay MS] [--keep]
// Figures are those of the tool's process as its parent sees them (wait4):
// wall, user + system CPU, peak resident memory; requests and bytes are
// counted in nginx's access log.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_folder.h"
#include "delay_proxy.h"
#include "generated_site.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/text_files.h"
#include "tool_run.h"

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;
using hvtest::FindProgram;
using hvtest::ReadText;
using bench::Measure;
using bench::RunTool;
using bench::Site;

struct Options {
  std::string harvion;
  int pages = 1500;
  int images = 800;
  int delayMs = 20;
  bool keep = false;  // leave the tools' folders for a look
};

// What a tool left in its folder: which page markers, how many images.
struct Found {
  std::set<int> pages;
  std::set<int> changed;
  int images = 0;
};

Found Scan(const std::string& dir) {
  Found found;
  std::error_code error;
  for (auto it = stdfs::recursive_directory_iterator(dir, error); !error && it != stdfs::end(it); it.increment(error)) {
    if (!it->is_regular_file(error) || it->path().filename() == "hvempty.gif") continue;
    const std::string text = ReadText(it->path().string());
    if (text.rfind("GIF89a", 0) == 0) {
      ++found.images;
      continue;
    }
    for (const auto& [marker, into] : {std::pair<const char*, std::set<int>*>{"PAGE-", &found.pages},
                                       std::pair<const char*, std::set<int>*>{"CHANGED-", &found.changed}}) {
      const std::size_t at = text.find(marker);
      if (at != std::string::npos) into->insert(std::atoi(text.c_str() + at + std::strlen(marker)));
    }
  }
  return found;
}

// ---------------------------------------------------------------- processes

// Requests and body bytes the server logged since line first.
void CountServed(const hvtest::NginxServer& nginx, std::size_t first, Measure& m) {
  const std::vector<std::string> lines = nginx.AccessLog();
  m.requests = 0;
  double bytes = 0;
  for (std::size_t i = first; i < lines.size(); ++i) {
    ++m.requests;
    bytes += std::atof(lines[i].substr(lines[i].rfind(' ') + 1).c_str());
  }
  m.mbytes = bytes / 1e6;
}

std::string FirstLines(const std::string& path, int count) {
  std::istringstream text(ReadText(path));
  std::string lines;
  for (std::string line; count-- > 0 && std::getline(text, line);) lines += "    " + line + "\n";
  return lines;
}

// ---------------------------------------------------------------- tools

struct Row {
  std::string setting;
  std::string tool;
  int connections = 1;
  Measure mirror;
  Measure update;
  Found found;
  int changesFound = 0;
  std::string note;
};

void NextSecond() {
  const std::time_t now = std::time(nullptr);
  while (std::time(nullptr) == now) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

class Bench {
 public:
  Bench(const Options& options, std::string dir, Site& site, hvtest::NginxServer& nginx)
      : m_options(options), m_dir(std::move(dir)), m_site(site), m_nginx(nginx) {}

  // A mirror and an update run of one tool at one setting.
  Row RunRow(const std::string& setting, int port, const std::string& tool, int connections) {
    Row row;
    row.setting = setting;
    row.tool = tool;
    row.connections = connections;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/index.html";
    const std::string work = m_dir + "/" + tool + "-" + setting + "-" + std::to_string(connections);
    std::error_code error;
    stdfs::create_directories(work, error);
    if (!m_site.Restore()) row.note = "cannot restore the site";
    const bool harvion = tool == "harvion";
    if (harvion && !PrepareHarvion(work, url, connections, row.note)) return row;
    for (Measure* m : {&row.mirror, &row.update}) {
      // Dates are whole seconds, and a run waits out the second its agent's
      // index was last written in: the setup just before would be timed too.
      NextSecond();
      if (m == &row.update && !m_site.Change()) row.note = "cannot change the site";
      const std::size_t first = m_nginx.AccessLog().size();
      const std::string log = work + (m == &row.mirror ? "/mirror.out" : "/update.out");
      *m = harvion ? RunTool({m_options.harvion, "run", "Mirror"}, {"HARVION_HOME=" + work + "/home"}, log)
                   : RunTool(WgetArgs(work, url), {}, log);
      // wget ends with 8 when the server answered an error: the robots.txt the site lacks, the removed pages.
      if (!harvion && m->exitCode == 8) m->ok = true;
      CountServed(m_nginx, first, *m);
      if (!m->ok && row.note.empty())
        row.note = tool + " exit " + std::to_string(m->exitCode) + ":\n" + FirstLines(log, 5);
      if (m == &row.mirror) row.found = Scan(work);
    }
    // Changes found: new text of a changed page stored, a removed page's copy gone.
    const Found after = Scan(work);
    for (int i : m_site.Changed()) row.changesFound += after.changed.count(i) ? 1 : 0;
    for (int i : m_site.Removed()) row.changesFound += after.pages.count(i) ? 0 : 1;
    if (!m_options.keep) stdfs::remove_all(work, error);
    return row;
  }

 private:
  // wget has one connection. -N (with -K, so that converted pages are
  // compared by their originals) makes the second run an update; asked with
  // If-Modified-Since, wget does not follow the links of a page answered 304.
  std::vector<std::string> WgetArgs(const std::string& work, const std::string& url) const {
    return {m_wget, "-r",  "-l", "inf", "-np", "-p", "-k", "-K", "-N", "--no-if-modified-since", "-q", "--no-proxy",
            "-P",   work + "/out", url};
  }

  bool PrepareHarvion(const std::string& work, const std::string& url, int connections, std::string& note) const {
    const std::vector<std::string> env = {"HARVION_HOME=" + work + "/home"};
    const std::vector<std::vector<std::string>> steps = {
        {"config", "threads", std::to_string(connections)},
        {"new", "Mirror"},
        {"add", "Mirror", url, "--title", "Site"},
        {"set", "Mirror", "--levels", "all", "--files", "graphics", "--confine", "site"},
        {"set", "Mirror", "Site", "--inherit"}};
    std::error_code error;
    stdfs::create_directories(work + "/home", error);
    for (const auto& step : steps) {
      std::vector<std::string> args = {m_options.harvion};
      args.insert(args.end(), step.begin(), step.end());
      const Measure m = RunTool(args, env, work + "/setup.out");
      if (!m.ok) {
        note = "harvion " + step[0] + " exit " + std::to_string(m.exitCode) + ":\n" +
               FirstLines(work + "/setup.out", 5);
        return false;
      }
    }
    return true;
  }

 public:
  std::string m_wget;

 private:
  const Options& m_options;
  std::string m_dir;
  Site& m_site;
  hvtest::NginxServer& m_nginx;
};

void PrintRows(const std::vector<Row>& rows, const Site& site, const Options& options) {
  const int files = site.Pages() + site.Images();
  std::printf("\n%-9s %-8s %5s | %8s %7s %7s %8s %8s %11s | %8s %7s %8s %7s | %s\n", "setting", "tool", "conns",
              "wall s", "CPU s", "peak MB", "requests", "MB", "pages+imgs", "upd wall", "upd CPU", "upd reqs",
              "changes", "x wget wall/CPU");
  for (const Row& row : rows) {
    const Row* wget = nullptr;
    for (const Row& other : rows)
      if (other.setting == row.setting && other.tool == "wget") wget = &other;
    char ratio[64] = "-";
    if (wget && wget->mirror.ok && row.mirror.ok && wget->mirror.wall > 0 && wget->mirror.cpu > 0)
      std::snprintf(ratio, sizeof ratio, "%.2f / %.2f", row.mirror.wall / wget->mirror.wall,
                    row.mirror.cpu / wget->mirror.cpu);
    const auto figures = [](const Measure& m, bool full) {
      char text[96];
      if (m.exitCode < 0)
        std::snprintf(text, sizeof text, full ? "%8s %7s %7s %8s %8s" : "%8s %7s %8s", "-", "-", "-", "-", "-");
      else if (full)
        std::snprintf(text, sizeof text, "%8.2f %7.2f %7.1f %8ld %8.2f", m.wall, m.cpu, m.peakMb, m.requests, m.mbytes);
      else
        std::snprintf(text, sizeof text, "%8.2f %7.2f %8ld", m.wall, m.cpu, m.requests);
      return std::string(text);
    };
    char stored[32];
    std::snprintf(stored, sizeof stored, "%zu+%d", row.found.pages.size(), row.found.images);
    std::printf("%-9s %-8s %5d | %s %11s | %s %4d/11 | %s\n", row.setting.c_str(), row.tool.c_str(), row.connections,
                figures(row.mirror, true).c_str(), stored, figures(row.update, false).c_str(), row.changesFound,
                ratio);
    if (!row.note.empty()) std::printf("    %s\n", row.note.c_str());
  }
  std::printf("\nsite: %d pages + %d images = %d files; with %d ms per request the limit at 8 connections is "
              "%.1f s (x 1.1 = %.1f s)\n",
              site.Pages(), site.Images(), files, options.delayMs, files * options.delayMs / 1000.0 / 8,
              files * options.delayMs / 1000.0 / 8 * 1.1);
  std::printf("changes: of the 9 changed pages, those whose new text was stored; of the 2 removed, those whose copy "
              "went away\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--keep") {
      options.keep = true;
      --i;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[i + 1];
    if (arg == "--harvion")
      options.harvion = value;
    else if (arg == "--pages")
      options.pages = std::atoi(value.c_str());
    else if (arg == "--images")
      options.images = std::atoi(value.c_str());
    else if (arg == "--delay")
      options.delayMs = std::atoi(value.c_str());
    else
      return false;
  }
  return options.pages >= 20 && options.pages <= 20000 && options.images >= 1 &&
         options.images <= 20000 && options.delayMs >= 0;
}

int Run(Options options, const std::string& dir) {
  if (hvtest::NginxServer::Program().empty()) {
    std::fprintf(stderr, "nginx is not installed (scripts/setup.sh installs it)\n");
    return 1;
  }
  // nginx's worker may run as another user: it must reach the site inside.
  ::chmod(dir.c_str(), 0755);
  Site site(dir + "/site", options.pages, options.images);
  if (!site.Write()) {
    std::fprintf(stderr, "cannot write the site\n");
    return 1;
  }
  hvtest::NginxServer nginx(dir + "/nginx");
  std::error_code error;
  stdfs::create_directories(nginx.Dir(), error);
  hvtest::NginxServer::Options serve;
  serve.root = site.Root();
  serve.keepAlive = true;
  serve.accessLog = true;
  if (!nginx.Start(serve)) {
    std::fprintf(stderr, "nginx did not start; its messages:\n%s", nginx.Messages().c_str());
    return 1;
  }
  bench::DelayProxy proxy(nginx.Port(), std::chrono::milliseconds(options.delayMs));
  if (!proxy.Start()) {
    std::fprintf(stderr, "the delaying proxy did not start\n");
    return 1;
  }

  Bench bench(options, dir, site, nginx);
  bench.m_wget = FindProgram("wget");
  const bool haveHarvion = ::access(options.harvion.c_str(), X_OK) == 0;
  std::printf("mirror of %d pages and %d images from nginx on 127.0.0.1 (keep-alive on)\n", site.Pages(),
              site.Images());
  if (bench.m_wget.empty()) std::printf("wget is not installed: its rows are left out\n");
  if (FindProgram("wget2").empty()) std::printf("wget2 is not installed: its rows are left out, ratios are to wget\n");
  if (!haveHarvion) std::printf("no harvion at %s: its rows are left out\n", options.harvion.c_str());
  std::printf("wget -r -l inf -np -p -k -K -N --no-if-modified-since (one connection); harvion run: all levels, "
              "within site, text and graphics\n");
  std::fflush(stdout);

  std::vector<Row> rows;
  const std::string delayed = std::to_string(options.delayMs) + "ms";
  for (const auto& [setting, port] : {std::pair<std::string, int>{"loopback", nginx.Port()},
                                      std::pair<std::string, int>{delayed, proxy.Port()}}) {
    if (!bench.m_wget.empty()) rows.push_back(bench.RunRow(setting, port, "wget", 1));
    if (haveHarvion)
      for (int connections : {1, 4, 8}) rows.push_back(bench.RunRow(setting, port, "harvion", connections));
    std::fprintf(stderr, "%s done\n", setting.c_str());
  }
  PrintRows(rows, site, options);
  proxy.Stop();
  nginx.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string self = stdfs::read_symlink("/proc/self/exe").parent_path().string();
  options.harvion = self + "/harvion";
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--harvion PATH] [--pages N] [--images N] [--delay MS] [--keep]\n", argv[0]);
    return 2;
  }
  const std::string dir = bench::MakeBenchFolder();
  if (dir.empty()) return 1;
  const int result = Run(options, dir);
  std::error_code error;
  if (options.keep)
    std::printf("the tools' folders are kept in %s\n", dir.c_str());
  else
    stdfs::remove_all(dir, error);
  return result;
}
