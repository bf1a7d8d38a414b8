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
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/text_files.h"

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;
using hvtest::FindProgram;
using hvtest::ReadText;
using hvtest::WriteText;

struct Options {
  std::string harvion;
  int pages = 1500;
  int images = 800;
  int delayMs = 20;
  bool keep = false;  // leave the tools' folders for a look
};

// ---------------------------------------------------------------- files

bool SetDate(const std::string& path, std::time_t when) {
  const timeval times[2] = {{when, 0}, {when, 0}};
  return ::utimes(path.c_str(), times) == 0;
}

// ---------------------------------------------------------------- the site

// Pages in folders of 100, each linking its two children in a binary tree
// (so all are reachable from the top), its parent and three others, and
// showing two images; each carries the marker PAGE-<n>, a changed one also
// CHANGED-<n>. Images are GIF-headed files of 1-4 KiB.
class Site {
 public:
  Site(std::string root, int pages, int images) : m_root(std::move(root)), m_nPages(pages), m_nImages(images) {}

  static std::string PagePath(int i) {
    return i == 0 ? "index.html" : "s" + std::to_string(i / 100) + "/page" + std::to_string(i) + ".html";
  }
  static std::string ImagePath(int i) {
    return "img/i" + std::to_string(i / 100) + "/pic" + std::to_string(i) + ".gif";
  }

  bool Write() {
    for (int i = 0; i < m_nPages; ++i)
      if (!WritePage(i, false)) return false;
    for (int i = 0; i < m_nImages; ++i) {
      std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
      gif.resize(1024 + static_cast<std::size_t>(i) * 577 % 3072, static_cast<char>('a' + i % 26));
      if (!WriteText(Path(ImagePath(i)), gif) || !SetDate(Path(ImagePath(i)), kDate)) return false;
    }
    return true;
  }

  // Nine pages get new text dated later, two pages are removed; Restore undoes it.
  bool Change() {
    for (int i : Changed())
      if (!WritePage(i, true)) return false;
    for (int i : Removed()) std::remove(Path(PagePath(i)).c_str());
    return true;
  }
  bool Restore() {
    for (int i : Changed())
      if (!WritePage(i, false)) return false;
    for (int i : Removed())
      if (!WritePage(i, false)) return false;
    return true;
  }
  std::vector<int> Changed() const {
    std::vector<int> pages;
    for (int k = 1; k <= 9; ++k) pages.push_back(k * m_nPages / 11);
    return pages;
  }
  // Leaves of the tree, linked from their parent and a few others.
  std::vector<int> Removed() const { return {m_nPages - 1, m_nPages - 3}; }

  const std::string& Root() const { return m_root; }
  int Pages() const { return m_nPages; }
  int Images() const { return m_nImages; }

 private:
  static constexpr std::time_t kDate = 1700000000;  // well before any run

  std::string Path(const std::string& path) const { return m_root + "/" + path; }

  bool WritePage(int i, bool changed) const {
    std::string html = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>\n<h1>Page " +
                       std::to_string(i) + "</h1>\n<p>PAGE-" + std::to_string(i) + "</p>\n";
    if (changed) html += "<p>CHANGED-" + std::to_string(i) + "</p>\n";
    std::vector<int> links = {2 * i + 1, 2 * i + 2, (i - 1) / 2};
    for (int k = 1; k <= 3; ++k)
      links.push_back(static_cast<int>((static_cast<long>(i) * 7919 + k * 104729) % m_nPages));
    for (int link : links)
      if (link >= 0 && link < m_nPages && link != i)
        html += "<p><a href=\"/" + PagePath(link) + "\">Page " + std::to_string(link) + "</a></p>\n";
    for (int image : {i % m_nImages, (i * 3 + 1) % m_nImages})
      html += "<p><img src=\"/" + ImagePath(image) + "\" alt=\"\"></p>\n";
    const std::size_t size = 2048 + static_cast<std::size_t>(i) * 7919 % 3072;
    static const std::string kFiller =
        "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt.</p>\n";
    while (html.size() < size) html += kFiller;
    html += "</body></html>\n";
    const std::string path = Path(PagePath(i));
    return WriteText(path, html) && SetDate(path, changed ? std::time(nullptr) + 120 : kDate);
  }

  std::string m_root;
  int m_nPages;
  int m_nImages;
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

struct Measure {
  bool ok = false;
  int exitCode = -1;
  double wall = 0;
  double cpu = 0;
  double peakMb = 0;
  long requests = 0;
  double mbytes = 0;
};

// Runs a program with its output in files and the environment changed by
// env ("NAME=value"); the child dies with this process.
Measure RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out) {
  Measure m;
  hvtest::SpawnOptions spawn;
  spawn.outPath = out;
  spawn.env = env;
  const auto start = Clock::now();
  const pid_t pid = hvtest::Spawn(args, spawn);
  if (pid < 0) return m;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) return m;
  m.wall = std::chrono::duration<double>(Clock::now() - start).count();
  m.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
  m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  m.ok = m.exitCode == 0;
  return m;
}

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
