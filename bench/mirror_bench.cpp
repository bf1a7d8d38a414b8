// Mirrors generated sites with `harvion run`, wget and wget2, side by side:
// plain loopback to nginx, then through a proxy that holds every request
// 20 ms; each mirror is followed by an update run after 9 pages changed and
// 2 went away. Sites: a binary tree of pages, and a wide one shaped like
// documentation. Harvion and wget2 run at 1, 4 and 8 connections, every
// tool with keep-alive off and on. The https settings serve the same site
// over TLS with a certificate from a CA the benchmark makes (openssl), which
// the tools are told to trust; delayed, every read from the client waits.
// Run by hand:
//   bin/mirror_bench [--harvion PATH] [--pages N] [--images N] [--delay MS]
//                    [--sites tree,wide] [--settings loopback,delayed,https,https-delayed]
//                    [--tools wget,wget2,harvion] [--connections 1,4,8]
//                    [--keep-alive off,on] [--repeat N] [--keep]
// Figures are those of the tool's process as its parent sees them (wait4):
// wall, user + system CPU, peak resident memory; requests, bytes and
// connections are counted in nginx's access log, time in flight by the
// delaying proxy.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_folder.h"
#include "delay_proxy.h"
#include "generated_site.h"
#include "mirror_table.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/test_certificates.h"
#include "support/text_files.h"
#include "tool_run.h"

namespace {

namespace stdfs = std::filesystem;
using hvtest::FindProgram;
using hvtest::ReadText;
using bench::Found;
using bench::Measure;
using bench::Pass;
using bench::Row;
using bench::RunTool;
using bench::Site;

struct Options {
  std::string harvion;
  int pages = 1500;
  int images = 800;
  int delayMs = 20;
  int repeat = 1;
  std::vector<std::string> sites = {"tree", "wide"};
  std::vector<std::string> settings = {"loopback", "delayed", "https", "https-delayed"};
  std::vector<std::string> tools = {"wget", "wget2", "harvion"};
  std::vector<int> connections = {1, 4, 8};
  std::vector<bool> keepAlive = {false, true};
  bool keep = false;  // leave the tools' folders for a look
};

Found Scan(const std::string& dir) {
  Found found;
  std::error_code error;
  for (auto it = stdfs::recursive_directory_iterator(dir, error); !error && it != stdfs::end(it); it.increment(error)) {
    if (!it->is_regular_file(error) || it->path().filename() == "hvempty.gif") continue;
    // wget's originals of converted pages would count twice.
    if (it->path().extension() == ".orig") continue;
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

// Requests, body bytes and connections the server logged since line first
// ("METHOD URI STATUS BYTES CONNECTION").
long CountServed(const hvtest::NginxServer& nginx, std::size_t first, Measure& m) {
  const std::vector<std::string> lines = nginx.AccessLog();
  m.requests = 0;
  double bytes = 0;
  std::set<std::string> connections;
  for (std::size_t i = first; i < lines.size(); ++i) {
    std::istringstream fields(lines[i]);
    std::string method, uri, status, size, connection;
    fields >> method >> uri >> status >> size >> connection;
    ++m.requests;
    bytes += std::atof(size.c_str());
    connections.insert(connection);
  }
  m.mbytes = bytes / 1e6;
  return static_cast<long>(connections.size());
}

std::string FirstLines(const std::string& path, int count) {
  std::istringstream text(ReadText(path));
  std::string lines;
  for (std::string line; count-- > 0 && std::getline(text, line);) lines += "    " + line + "\n";
  return lines;
}

void NextSecond() {
  const std::time_t now = std::time(nullptr);
  while (std::time(nullptr) == now) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Where a row's tools connect: nginx itself or the delaying proxy before it.
struct Setting {
  std::string name;
  int port = 0;
  int delayMs = 0;
  bench::DelayProxy* proxy = nullptr;
  hvtest::NginxServer* nginx = nullptr;  // whose log counts the requests
  std::string caFile;  // over TLS: the CA the tools trust
};

class Bench {
 public:
  Bench(const Options& options, std::string dir, Site& site)
      : m_options(options), m_dir(std::move(dir)), m_site(site) {}

  // A mirror and an update run of the row's tool, added to its passes.
  void RunPass(Row& row, const Setting& setting) {
    Pass pass;
    const std::string url = (setting.caFile.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") +
                            std::to_string(setting.port) + "/index.html";
    const std::string work = m_dir + "/" + row.tool + "-" + row.site + "-" + row.setting + "-" +
                             (row.keepAlive ? "ka" : "close") + "-" + std::to_string(row.connections) + "-" +
                             std::to_string(row.passes.size());
    std::error_code error;
    stdfs::create_directories(work, error);
    if (!m_site.Restore()) row.note = "cannot restore the site";
    const bool harvion = row.tool == "harvion";
    if (harvion && !PrepareHarvion(work, url, row, setting, row.note)) return;
    for (Measure* m : {&pass.mirror, &pass.update}) {
      // Dates are whole seconds, and a run waits out the second its agent's
      // index was last written in: the setup just before would be timed too.
      NextSecond();
      if (m == &pass.update && !m_site.Change()) row.note = "cannot change the site";
      const std::size_t first = setting.nginx->AccessLog().size();
      const double busy = setting.proxy ? setting.proxy->BusySeconds() : 0;
      const std::string log = work + (m == &pass.mirror ? "/mirror.out" : "/update.out");
      *m = harvion ? RunTool({m_options.harvion, "run", "Mirror"}, {"HARVION_HOME=" + work + "/home"}, log)
                   : RunTool(WgetArgs(work, url, row, setting), {"HOME=" + work}, log);
      // wget ends with 8 when the server answered an error: the robots.txt the site lacks, the removed pages.
      if (!harvion && m->exitCode == 8) m->ok = true;
      const long connections = CountServed(*setting.nginx, first, *m);
      if (m == &pass.mirror) {
        pass.connections = connections;
        if (setting.proxy && m->wall > 0) pass.inFlight = (setting.proxy->BusySeconds() - busy) / m->wall;
        pass.found = Scan(work);
      }
      if (!m->ok && row.note.empty())
        row.note = row.tool + " exit " + std::to_string(m->exitCode) + ":\n" + FirstLines(log, 5);
    }
    // Changes found: new text of a changed page stored, a removed page's copy gone.
    const Found after = Scan(work);
    for (int i : m_site.Changed()) pass.changesFound += after.changed.count(i) ? 1 : 0;
    for (int i : m_site.Removed()) pass.changesFound += after.pages.count(i) ? 0 : 1;
    row.passes.push_back(std::move(pass));
    if (!m_options.keep) m_finished.push_back(work);
  }

  // ext4 makes each new file walk past the inodes freed in the last half
  // minute: a tool's folder removed just before the next tool runs would
  // slow that one's file creation. Folders go once the site is done.
  void RemoveFinished() {
    std::error_code error;
    for (const std::string& work : m_finished) stdfs::remove_all(work, error);
    m_finished.clear();
  }

  std::string m_wget;
  std::string m_wget2;

 private:
  // -N (with -K, so that converted pages are compared by their originals)
  // makes the second run an update; asked with If-Modified-Since, wget does
  // not follow the links of a page answered 304. wget has one connection.
  std::vector<std::string> WgetArgs(const std::string& work, const std::string& url, const Row& row,
                                    const Setting& setting) const {
    std::vector<std::string> args = {row.tool == "wget2" ? m_wget2 : m_wget, "-r", "-l", "inf", "-np", "-p", "-k",
                                     "-K", "-N", "-q", "--no-proxy", "-P", work + "/out"};
    if (row.tool == "wget2") {
      args.insert(args.end(), {"--max-threads", std::to_string(row.connections)});
    } else {
      args.push_back("--no-if-modified-since");
    }
    if (!row.keepAlive) args.push_back("--no-http-keep-alive");
    if (!setting.caFile.empty()) args.push_back("--ca-certificate=" + setting.caFile);
    // Harvion asks no certificate status server either.
    if (!setting.caFile.empty() && row.tool == "wget2") args.push_back("--no-ocsp");
    args.push_back(url);
    return args;
  }

  bool PrepareHarvion(const std::string& work, const std::string& url, const Row& row, const Setting& setting,
                      std::string& note) const {
    const std::vector<std::string> env = {"HARVION_HOME=" + work + "/home"};
    std::vector<std::vector<std::string>> steps = {
        {"config", "threads", std::to_string(row.connections)},
        {"config", "keep-alive", row.keepAlive ? "on" : "off"},
        {"new", "Mirror"},
        {"add", "Mirror", url, "--title", "Site"},
        {"set", "Mirror", "--levels", "all", "--files", "graphics", "--confine", "site"},
        {"set", "Mirror", "Site", "--inherit"}};
    if (!setting.caFile.empty()) steps.insert(steps.begin(), {"config", "ca-file", setting.caFile});
    std::error_code error;
    stdfs::create_directories(work + "/home", error);
    for (const auto& step : steps) {
      std::vector<std::string> args = {m_options.harvion};
      args.insert(args.end(), step.begin(), step.end());
      const Measure m = RunTool(args, env, work + "/setup.out");
      if (!m.ok) {
        note = "harvion " + step[0] + " " + step[1] + " exit " + std::to_string(m.exitCode) + ":\n" +
               FirstLines(work + "/setup.out", 5);
        return false;
      }
    }
    return true;
  }

  const Options& m_options;
  std::string m_dir;
  Site& m_site;
  std::vector<std::string> m_finished;  // folders of passes done, to remove
};

bool Listed(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> items;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) items.push_back(item);
  return items;
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
    if (arg == "--harvion") {
      options.harvion = value;
    } else if (arg == "--pages") {
      options.pages = std::atoi(value.c_str());
    } else if (arg == "--images") {
      options.images = std::atoi(value.c_str());
    } else if (arg == "--delay") {
      options.delayMs = std::atoi(value.c_str());
    } else if (arg == "--repeat") {
      options.repeat = std::atoi(value.c_str());
    } else if (arg == "--sites") {
      options.sites = Split(value);
    } else if (arg == "--settings") {
      options.settings = Split(value);
    } else if (arg == "--tools") {
      options.tools = Split(value);
    } else if (arg == "--connections") {
      options.connections.clear();
      for (const std::string& item : Split(value)) options.connections.push_back(std::atoi(item.c_str()));
    } else if (arg == "--keep-alive") {
      options.keepAlive.clear();
      for (const std::string& item : Split(value)) options.keepAlive.push_back(item == "on");
    } else {
      return false;
    }
  }
  for (int connections : options.connections)
    if (connections < 1 || connections > 63) return false;
  return options.pages >= 20 && options.pages <= 20000 && options.images >= 1 && options.images <= 20000 &&
         options.delayMs >= 0 && options.repeat >= 1 && options.repeat <= 9;
}

// One site, written, served and mirrored by every tool asked for.
void RunSite(const Options& options, const std::string& dir, const std::string& shape, std::vector<Row>& rows) {
  const std::string siteDir = dir + "/" + shape;
  std::error_code error;
  stdfs::create_directories(siteDir, error);
  Site site(siteDir + "/site", options.pages, options.images, 2048, 3072,
            shape == "wide" ? Site::Shape::wide : Site::Shape::tree);
  if (!site.Write()) {
    std::fprintf(stderr, "cannot write the %s site\n", shape.c_str());
    return;
  }
  hvtest::NginxServer nginx(siteDir + "/nginx");
  hvtest::NginxServer tlsNginx(siteDir + "/nginx-tls");
  hvtest::NginxServer::Options serve;
  serve.root = site.Root();
  serve.keepAlive = true;
  serve.accessLog = true;
  serve.logConnection = true;
  const auto start = [&](hvtest::NginxServer& server, const hvtest::NginxServer::Options& with) {
    stdfs::create_directories(server.Dir(), error);
    if (server.Start(with)) return true;
    std::fprintf(stderr, "nginx did not start; its messages:\n%s", server.Messages().c_str());
    return false;
  };
  if (!start(nginx, serve)) return;
  const std::chrono::milliseconds delay(options.delayMs);
  bench::DelayProxy proxy(nginx.Port(), delay);
  if (!proxy.Start()) {
    std::fprintf(stderr, "the delaying proxy did not start\n");
    return;
  }
  const std::string delayed = std::to_string(options.delayMs) + "ms";
  std::vector<Setting> settings;
  if (Listed(options.settings, "loopback")) settings.push_back({"loopback", nginx.Port(), 0, nullptr, &nginx, {}});
  if (Listed(options.settings, "delayed")) settings.push_back({delayed, proxy.Port(), options.delayMs, &proxy, &nginx, {}});

  // The same site over TLS, from a second nginx with a certificate the
  // benchmark's own CA signed.
  std::unique_ptr<bench::DelayProxy> tlsProxy;
  if (Listed(options.settings, "https") || Listed(options.settings, "https-delayed")) {
    stdfs::create_directories(siteDir + "/certs", error);
    const hvtest::TestCertificates certificates(siteDir + "/certs");
    hvtest::NginxServer::Options tls = serve;
    tls.sslCertificate = certificates.CertFile(hvtest::TestCertificates::good);
    tls.sslKey = certificates.KeyFile(hvtest::TestCertificates::good);
    if (!certificates.Made()) {
      std::fprintf(stderr, "no certificates for the https settings: %s\n", certificates.Messages().c_str());
    } else if (start(tlsNginx, tls)) {
      tlsProxy = std::make_unique<bench::DelayProxy>(tlsNginx.Port(), delay, bench::DelayProxy::Hold::perRead);
      if (Listed(options.settings, "https"))
        settings.push_back({"https", tlsNginx.Port(), 0, nullptr, &tlsNginx, certificates.CaFile()});
      if (Listed(options.settings, "https-delayed") && tlsProxy->Start())
        settings.push_back({"tls-" + delayed, tlsProxy->Port(), options.delayMs, tlsProxy.get(), &tlsNginx,
                            certificates.CaFile()});
    }
  }

  Bench bench(options, dir, site);
  bench.m_wget = FindProgram("wget");
  bench.m_wget2 = FindProgram("wget2");
  const bool haveHarvion = ::access(options.harvion.c_str(), X_OK) == 0;
  for (const Setting& setting : settings) {
    for (bool keepAlive : options.keepAlive) {
      // The rows of one setting side by side: each repeat runs every tool once.
      std::vector<Row> batch;
      const auto add = [&](const std::string& tool, int connections) {
        Row row;
        row.site = shape;
        row.setting = setting.name;
        row.keepAlive = keepAlive;
        row.tool = tool;
        row.connections = connections;
        row.delayMs = setting.delayMs;
        batch.push_back(row);
      };
      if (Listed(options.tools, "wget") && !bench.m_wget.empty()) add("wget", 1);
      for (int connections : options.connections) {
        if (Listed(options.tools, "wget2") && !bench.m_wget2.empty()) add("wget2", connections);
        if (Listed(options.tools, "harvion") && haveHarvion) add("harvion", connections);
      }
      for (int pass = 0; pass < options.repeat; ++pass)
        for (Row& row : batch) {
          bench.RunPass(row, setting);
          std::fprintf(stderr, "%s %s keep-alive %s: %s %d, pass %d done\n", shape.c_str(), setting.name.c_str(),
                       keepAlive ? "on" : "off", row.tool.c_str(), row.connections, pass + 1);
        }
      rows.insert(rows.end(), batch.begin(), batch.end());
    }
  }
  bench.RemoveFinished();
  if (tlsProxy) tlsProxy->Stop();
  proxy.Stop();
  tlsNginx.Stop();
  nginx.Stop();
}

double LoadAverage() {
  double load = -1;
  std::ifstream in("/proc/loadavg");
  in >> load;
  return load;
}

int Run(const Options& options, const std::string& dir) {
  if (hvtest::NginxServer::Program().empty()) {
    std::fprintf(stderr, "nginx is not installed (scripts/setup.sh installs it)\n");
    return 1;
  }
  // nginx's worker may run as another user: it must reach the site inside.
  ::chmod(dir.c_str(), 0755);
  const bool haveHarvion = ::access(options.harvion.c_str(), X_OK) == 0;
  std::printf("mirrors of %d pages and %d images from nginx on 127.0.0.1; %u processors, load %.2f at the start\n",
              options.pages, options.images, std::thread::hardware_concurrency(), LoadAverage());
  if (FindProgram("wget").empty()) std::printf("wget is not installed: its rows are left out\n");
  if (FindProgram("wget2").empty()) std::printf("wget2 is not installed: its rows are left out\n");
  if (!haveHarvion) std::printf("no harvion at %s: its rows are left out\n", options.harvion.c_str());
  std::printf("wget and wget2 -r -l inf -np -p -k -K -N (wget also --no-if-modified-since, wget2 --max-threads N); "
              "harvion run: all levels, within site, text and graphics, config threads N\n");
  std::fflush(stdout);
  std::vector<Row> rows;
  for (const std::string& shape : options.sites) RunSite(options, dir, shape, rows);
  bench::PrintRows(rows);
  std::printf("load at the end %.2f\n", LoadAverage());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string self = stdfs::read_symlink("/proc/self/exe").parent_path().string();
  options.harvion = self + "/harvion";
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s [--harvion PATH] [--pages N] [--images N] [--delay MS] [--sites tree,wide]\n"
                 "          [--settings loopback,delayed,https,https-delayed] [--tools wget,wget2,harvion]\n"
                 "          [--connections 1,4,8]\n"
                 "          [--keep-alive off,on] [--repeat N] [--keep]\n",
                 argv[0]);
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
