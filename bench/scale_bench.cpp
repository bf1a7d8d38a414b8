// How harvion grows with a site: generated sites (by default of 5,000,
// 20,000 and 50,000 pages, and a quarter as many images) mirrored whole from
// nginx on 127.0.0.1, then `harvion tree`, `harvion cache` and a second run
// with nothing changed. Per size it prints the files stored, the peak
// resident memory of the first run and that per stored file beyond a fixed
// base (the peak of a run on a site of a few pages), the growth per file
// from the size before, the sizes of the agent's index and agent file, and
// the times. Run by hand (a few minutes):
//   bin/scale_bench [--harvion PATH] [--sizes N,N,...] [--threads N] [--page-bytes N] [--wrap "PROGRAM ARGS"] [--keep]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "generated_site.h"
#include "support/nginx_server.h"
#include "support/text_files.h"
#include "tool_run.h"

namespace {

namespace stdfs = std::filesystem;
using bench::Measure;
using bench::RunTool;

struct Options {
  std::string harvion;
  std::vector<int> sizes = {5000, 20000, 50000};
  int threads = 4;
  std::size_t pageBytes = 512;  // and up to as many more
  std::vector<std::string> wrap;  // the first runs go under this program, e.g. heaptrack
  bool keep = false;
};

struct Row {
  int pages = 0;
  int images = 0;
  long stored = 0;  // files named like stored pages in the agent folder
  Measure mirror;
  Measure tree;
  Measure cache;
  Measure again;
  std::uintmax_t indexBytes = 0;
  std::uintmax_t agentBytes = 0;
  std::string note;
};

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = stdfs::file_size(path, error);
  return error ? 0 : size;
}

long StoredFiles(const std::string& folder) {
  long count = 0;
  std::error_code error;
  for (const auto& entry : stdfs::directory_iterator(folder, error))
    if (entry.path().filename().string().rfind("3S", 0) == 0) ++count;
  return count;
}

// The last line a tool wrote, for a note when it failed.
std::string LastLine(const std::string& path) {
  std::istringstream text(hvtest::ReadText(path));
  std::string last;
  for (std::string line; std::getline(text, line);)
    if (!line.empty()) last = line;
  return last;
}

class Bench {
 public:
  Bench(const Options& options, std::string dir) : m_options(options), m_dir(std::move(dir)) {}

  Row MeasureSite(int pages) {
    Row row;
    row.pages = pages;
    row.images = std::max(1, pages / 4);
    const std::string work = m_dir + "/" + std::to_string(pages);
    bench::Site site(work + "/site", row.pages, row.images, m_options.pageBytes, m_options.pageBytes);
    std::error_code error;
    stdfs::create_directories(work + "/home", error);
    ::chmod(work.c_str(), 0755);  // nginx's worker may run as another user
    if (!site.Write()) {
      row.note = "cannot write the site";
      return row;
    }
    hvtest::NginxServer nginx(work + "/nginx");
    stdfs::create_directories(nginx.Dir(), error);
    hvtest::NginxServer::Options serve;
    serve.root = site.Root();
    serve.keepAlive = true;
    if (!nginx.Start(serve)) {
      row.note = "nginx did not start: " + nginx.Messages();
      return row;
    }
    m_env = {"HARVION_HOME=" + work + "/home"};
    const std::string url = nginx.BaseUrl() + "index.html";
    if (Prepare(work, url, row.note)) {
      row.mirror = Tool(work, "mirror", {"run", "Mirror"}, row.note, pages > 20);
      row.tree = Tool(work, "tree", {"tree", "Mirror"}, row.note);
      row.cache = Tool(work, "cache", {"cache", "Mirror"}, row.note);
      row.again = Tool(work, "again", {"run", "Mirror"}, row.note);
      const std::string folder = AgentFolder(work);
      row.stored = StoredFiles(folder);
      row.indexBytes = SizeOf(folder + "/Harvion Cache.hvc");
      row.agentBytes = SizeOf(folder + ".hvx");
    }
    nginx.Stop();
    if (!m_options.keep) stdfs::remove_all(work, error);
    return row;
  }

 private:
  bool Prepare(const std::string& work, const std::string& url, std::string& note) {
    const std::vector<std::vector<std::string>> steps = {
        {"config", "threads", std::to_string(m_options.threads)},
        {"new", "Mirror"},
        {"add", "Mirror", url, "--title", "Site"},
        {"set", "Mirror", "--levels", "all", "--files", "graphics", "--confine", "site"},
        {"set", "Mirror", "Site", "--inherit"}};
    for (const auto& step : steps)
      if (!Tool(work, "setup", step, note).ok) return false;
    return true;
  }

  Measure Tool(const std::string& work, const std::string& what, const std::vector<std::string>& words,
                      std::string& note, bool wrapped = false) {
    std::vector<std::string> args = wrapped ? m_options.wrap : std::vector<std::string>();
    args.push_back(m_options.harvion);
    args.insert(args.end(), words.begin(), words.end());
    const std::string out = work + "/" + what + ".out";
    const Measure m = RunTool(args, m_env, out);
    if (!m.ok && note.empty()) note = what + ": exit " + std::to_string(m.exitCode) + ": " + LastLine(out);
    return m;
  }

  // The agent folder lies beside its agent file, wherever the settings put them.
  static std::string AgentFolder(const std::string& work) {
    std::error_code error;
    for (auto it = stdfs::recursive_directory_iterator(work + "/home", error); !error && it != stdfs::end(it);
         it.increment(error))
      if (it->path().filename() == "Mirror.hvx") return (it->path().parent_path() / "Mirror").string();
    return work + "/home/Mirror";
  }

  const Options& m_options;
  std::string m_dir;
  std::vector<std::string> m_env;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--keep") {
      options.keep = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (arg == "--harvion") {
      options.harvion = value;
    } else if (arg == "--page-bytes") {
      options.pageBytes = static_cast<std::size_t>(std::max(1, std::atoi(value.c_str())));
    } else if (arg == "--wrap") {
      std::istringstream words(value);
      for (std::string word; words >> word;) options.wrap.push_back(word);
      if (!options.wrap.empty() && options.wrap[0].find('/') == std::string::npos)
        options.wrap[0] = hvtest::FindProgram(options.wrap[0]);
    } else if (arg == "--threads") {
      options.threads = std::atoi(value.c_str());
    } else if (arg == "--sizes") {
      options.sizes.clear();
      std::istringstream list(value);
      for (std::string size; std::getline(list, size, ',');) options.sizes.push_back(std::atoi(size.c_str()));
    } else {
      return false;
    }
  }
  for (int size : options.sizes)
    if (size < 20 || size > 1000000) return false;
  return !options.sizes.empty() && options.threads >= 1 && options.threads <= 63;
}

void PrintRows(const std::vector<Row>& rows, double baseMb) {
  std::printf("\n%7s %7s %7s | %8s %7s %8s %8s %8s | %9s %9s | %7s %7s %7s %7s %7s\n", "pages", "images", "stored",
              "peak MB", "KB/file", "KB/file+", "again MB", "again KB", "index MB", "agent MB", "run s", "CPU s",
              "tree s", "cache s", "again s");
  const Row* before = nullptr;
  for (const Row& row : rows) {
    const double files = static_cast<double>(std::max(row.stored, 1L));
    const double perFile = (row.mirror.peakMb - baseMb) * 1024 / files;
    char growth[16] = "-";
    if (before && row.stored > before->stored)
      std::snprintf(growth, sizeof growth, "%.2f",
                    (row.mirror.peakMb - before->mirror.peakMb) * 1024 /
                        static_cast<double>(row.stored - before->stored));
    std::printf("%7d %7d %7ld | %8.1f %7.2f %8s %8.1f %8.2f | %9.2f %9.2f | %7.1f %7.1f %7.2f %7.2f %7.1f\n",
                row.pages, row.images, row.stored, row.mirror.peakMb, perFile, growth, row.again.peakMb,
                (row.again.peakMb - baseMb) * 1024 / files, static_cast<double>(row.indexBytes) / 1e6,
                static_cast<double>(row.agentBytes) / 1e6, row.mirror.wall, row.mirror.cpu, row.tree.wall,
                row.cache.wall, row.again.wall);
    if (!row.note.empty()) std::printf("    %s\n", row.note.c_str());
    before = &row;
  }
  std::printf("\nbase: %.1f MB, the peak of a run on a site of 20 pages; KB/file: (peak - base) per stored file; "
              "KB/file+: growth per file from the row above; again: the unchanged second run\n",
              baseMb);
}

int Run(const Options& options, const std::string& dir) {
  if (hvtest::NginxServer::Program().empty()) {
    std::fprintf(stderr, "nginx is not installed (scripts/setup.sh installs it)\n");
    return 1;
  }
  if (::access(options.harvion.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "no harvion at %s\n", options.harvion.c_str());
    return 1;
  }
  ::chmod(dir.c_str(), 0755);
  Bench bench(options, dir);
  std::printf("harvion run of generated sites from nginx on 127.0.0.1: all levels, within site, text and graphics, "
              "%d threads\n",
              options.threads);
  std::fflush(stdout);
  const Row base = bench.MeasureSite(20);
  if (!base.note.empty()) std::printf("base run: %s\n", base.note.c_str());
  std::vector<Row> rows;
  for (int pages : options.sizes) {
    rows.push_back(bench.MeasureSite(pages));
    std::fprintf(stderr, "%d pages done\n", pages);
  }
  PrintRows(rows, base.mirror.peakMb);
  for (const Row& row : rows)
    if (!row.note.empty() || row.stored < row.pages + row.images) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  options.harvion = stdfs::read_symlink("/proc/self/exe").parent_path().string() + "/harvion";
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--harvion PATH] [--sizes N,N,...] [--threads N] [--page-bytes N] [--wrap \"PROGRAM ARGS\"] [--keep]\n", argv[0]);
    return 2;
  }
  const std::string dir = bench::MakeBenchFolder();
  if (dir.empty()) return 1;
  const int result = Run(options, dir);
  std::error_code error;
  if (options.keep)
    std::printf("the agents and sites are kept in %s\n", dir.c_str());
  else
    stdfs::remove_all(dir, error);
  return result;
}
