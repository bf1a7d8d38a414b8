// Page transfers from a local nginx: the engine's HTTP workers against curl
// on the same small files at the same parallelism, and the processor time
// of a started server that has nothing to do. Run by hand:
//   bin/transport_bench [--files N] [--runs N] [--keepalive]
// nginx serves with one worker process, so both clients meet the same
// server. Keep-alive is off unless asked for: the engine opens one
// connection per page, and curl then has to as well.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_folder.h"
#include "engine/cache/page_descr.h"
#include "engine/http/http_async_client.h"
#include "engine/http/http_async_server.h"
#include "engine/http/http_request_owner.h"
#include "engine/settings/engine_app.h"
#include "platform/files/file_system.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/text_files.h"

namespace {

using Clock = std::chrono::steady_clock;
using hvtest::FindProgram;
using hvtest::ReadText;
using hvtest::WriteText;

struct Options {
  int files = 2000;
  int runs = 3;
  bool keepAlive = false;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// User and system time of the process (all threads) or of its waited-for children.
double CpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---------------------------------------------------------------- the site

struct Site {
  std::string root;
  std::vector<std::string> names;
  std::vector<long> sizes;
};

// Pages of 2 to 4 KiB with some text and links, sizes spread evenly.
bool MakeSite(const std::string& root, int files, Site& site) {
  if (!hv::fs::EnsureDirectory(root)) return false;
  site.root = root;
  static const std::string kFiller =
      "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore "
      "<a href=\"page0001.html\">et dolore</a> magna aliqua.</p>\n";
  for (int i = 0; i < files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "page%04d.html", i);
    const std::string head = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>\n";
    const std::string tail = "</body></html>\n";
    const std::size_t size = 2048 + static_cast<std::size_t>(i) * 7919 % 2049;
    std::string text = head;
    while (text.size() + tail.size() < size) text += kFiller;
    text.resize(size - tail.size());
    text += tail;
    if (!WriteText(hv::fs::JoinPath(root, name), text)) return false;
    site.names.push_back(name);
    site.sizes.push_back(static_cast<long>(text.size()));
  }
  return true;
}

// ---------------------------------------------------------------- figures

struct Run {
  bool ok = false;
  double wall = 0;
  double cpu = 0;
};

struct Best {
  double reqPerSec = 0;
  double cpuPer1000 = 1e9;
  bool any = false;
  void Add(const Run& run, int requests) {
    if (!run.ok) return;
    any = true;
    reqPerSec = std::max(reqPerSec, requests / run.wall);
    cpuPer1000 = std::min(cpuPer1000, run.cpu * 1000 / requests);
  }
};

// ---------------------------------------------------------------- the engine

// Completions of one batch of transfers.
class Batch {
 public:
  explicit Batch(int expected) : m_nExpected(expected) {}
  void Done() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (++m_nDone == m_nExpected) m_allDone.notify_all();
  }
  bool Wait(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_allDone.wait_for(lock, limit, [&] { return m_nDone >= m_nExpected; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_allDone;
  int m_nExpected;
  int m_nDone = 0;
};

// One page to fetch: what a location would be to the transfer, counting
// instead of storing. Its fields are read after the batch's lock saw the
// transfer freed.
class PageFetch : public CHTTPRequestOwner {
 public:
  PageFetch(std::string address, Batch& batch) : m_page(std::move(address)), m_batch(batch) {}

  CPageDescr* RequestPage() override { return &m_page; }
  void GetAcceptTypes(std::string& types) override { types = "*/*"; }
  std::uint32_t GetIfModifiedSince() override { return 0; }
  int GetAuthorization(std::string& credentials) override {
    credentials.clear();
    return 1;
  }
  int OnHeaders() override {
    ++m_nHeaders;
    return readOn;
  }
  int OnData(const char* data, int length) override {
    (void)data;
    m_nBytes += length;
    return readOn;
  }
  void OnRequestQueued() override {}
  void OnRequestStarted() override {}
  void OnRequestFinished(int status) override {
    m_nStatus = status;
    ++m_nFinished;
  }
  void OnRequestFreed(CHTTPAsyncClient* request) override {
    (void)request;
    m_batch.Done();
  }

  // Empty when the page came whole, else what went wrong.
  std::string Fault(long size) const {
    char text[200];
    if (m_nFinished != 1 || m_nStatus != 0)
      std::snprintf(text, sizeof text, "%d completions, status 0x%X", m_nFinished, m_nStatus);
    else if (m_nHeaders != 1 || m_page.m_nStatusCode != 200)
      std::snprintf(text, sizeof text, "%d header events, HTTP status %d", m_nHeaders, m_page.m_nStatusCode);
    else if (m_nBytes != size || m_page.m_nContentLength != size)
      std::snprintf(text, sizeof text, "%ld bytes, content length %d, expected %ld", m_nBytes,
                    m_page.m_nContentLength, size);
    else
      return {};
    return m_page.m_strAddress.str() + ": " + text;
  }

 private:
  CPageDescr m_page;
  Batch& m_batch;
  int m_nHeaders = 0;
  int m_nFinished = 0;
  int m_nStatus = -1;
  long m_nBytes = 0;
};

bool WaitStopped(CHTTPAsyncServer& server, std::chrono::seconds limit) {
  const auto end = Clock::now() + limit;
  while (server.GetState() != CAsyncServer::Stopped) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// From the start of a run to its stop, every page submitted up front.
Run FetchWithEngine(const Site& site, const std::string& base, int workers) {
  const int count = static_cast<int>(site.names.size());
  Batch batch(count);
  std::vector<std::unique_ptr<PageFetch>> pages;
  for (const std::string& name : site.names) pages.push_back(std::make_unique<PageFetch>(base + name, batch));
  Run run;
  CHTTPAsyncServer server(-1);
  const double cpu = CpuSeconds(RUSAGE_SELF);
  const auto start = Clock::now();
  if (!server.Start(workers, 30)) {
    std::fprintf(stderr, "the engine's server did not start with %d workers\n", workers);
    return run;
  }
  for (auto& page : pages) server.Submit(new CHTTPAsyncClient(page.get()));
  server.Finish();
  const bool completed = batch.Wait(std::chrono::seconds(120));
  const bool stopped = completed && WaitStopped(server, std::chrono::seconds(30));
  run.wall = Seconds(Clock::now() - start);
  run.cpu = CpuSeconds(RUSAGE_SELF) - cpu;
  if (!completed || !stopped) {
    std::fprintf(stderr, "engine, workers %d: %s\n", workers,
                 completed ? "the server did not stop" : "not every transfer completed within 120 s");
    server.Stop(1);
    server.Shutdown();
    batch.Wait(std::chrono::seconds(30));
    return run;
  }
  int faults = 0;
  for (int i = 0; i < count; ++i) {
    const std::string fault = pages[static_cast<std::size_t>(i)]->Fault(site.sizes[static_cast<std::size_t>(i)]);
    if (!fault.empty() && ++faults <= 5) std::fprintf(stderr, "engine, workers %d: %s\n", workers, fault.c_str());
  }
  if (faults > 0) std::fprintf(stderr, "engine, workers %d: %d of %d pages failed\n", workers, faults, count);
  run.ok = faults == 0;
  return run;
}

// Processor time of the whole process while a started server waits for work.
bool IdleCpu(double seconds, double& cpu) {
  CHTTPAsyncServer server(-1);
  if (!server.Start(4, 30)) return false;
  const double before = CpuSeconds(RUSAGE_SELF);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  cpu = CpuSeconds(RUSAGE_SELF) - before;
  server.Finish();
  return WaitStopped(server, std::chrono::seconds(30));
}

// ---------------------------------------------------------------- curl

// The same pages through curl: one config file of url/output pairs, and a
// line per transfer written out to check every page came whole. With one
// worker curl runs plainly, one transfer after the other; above that with
// --parallel --parallel-max N.
class Curl {
 public:
  Curl(std::string program, std::string dir, const Site& site, const std::string& base)
      : m_program(std::move(program)), m_dir(std::move(dir)) {
    std::string list;
    for (std::size_t i = 0; i < site.names.size(); ++i) {
      list += "url = \"" + base + site.names[i] + "\"\noutput = \"/dev/null\"\n";
      m_expected[base + site.names[i]] = site.sizes[i];
    }
    m_bReady = WriteText(Path("curl.conf"), list);
  }

  Run Fetch(int workers) {
    Run run;
    if (!m_bReady) return run;
    std::vector<std::string> args = {m_program, "-q", "-s", "-S", "--no-progress-meter", "--fail", "--noproxy", "*",
                                     "-w",      "%{http_code} %{size_download} %{url_effective}\\n"};
    if (workers > 1) {
      args.insert(args.end(), {"--parallel", "--parallel-max", std::to_string(workers)});
    }
    args.insert(args.end(), {"-K", Path("curl.conf")});
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    hvtest::SpawnOptions spawn;
    spawn.outPath = Path("curl.out");
    spawn.errPath = Path("curl.err");
    const pid_t pid = hvtest::Spawn(args, spawn);
    if (pid < 0) std::perror("cannot start a program");
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return run;
    run.wall = Seconds(Clock::now() - start);
    run.cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "curl, workers %d: exit status %d: %s\n", workers,
                   WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(Path("curl.err")).c_str());
      return run;
    }
    run.ok = Check(workers);
    return run;
  }

 private:
  std::string Path(const std::string& name) const { return hv::fs::JoinPath(m_dir, name); }

  bool Check(int workers) const {
    std::istringstream lines(ReadText(Path("curl.out")));
    std::map<std::string, int> seen;
    int faults = 0;
    int code = 0;
    long size = 0;
    std::string url;
    while (lines >> code >> size >> url) {
      const auto expected = m_expected.find(url);
      if (code == 200 && expected != m_expected.end() && expected->second == size && ++seen[url] == 1) continue;
      if (++faults <= 5) std::fprintf(stderr, "curl, workers %d: %s: HTTP %d, %ld bytes\n", workers, url.c_str(), code, size);
    }
    if (faults == 0 && seen.size() == m_expected.size()) return true;
    std::fprintf(stderr, "curl, workers %d: %zu of %zu pages came whole\n", workers, seen.size(),
                 m_expected.size());
    return false;
  }

  std::string m_program;
  std::string m_dir;
  std::map<std::string, long> m_expected;
  bool m_bReady = false;
};

// ---------------------------------------------------------------- main

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--keepalive") {
      options.keepAlive = true;
    } else if ((arg == "--files" || arg == "--runs") && i + 1 < argc) {
      const int value = std::atoi(argv[++i]);
      if (value < 1) return false;
      (arg == "--files" ? options.files : options.runs) = value;
    } else {
      return false;
    }
  }
  return options.files <= 10000;
}

int Bench(const Options& options, const std::string& dir) {
  if (hvtest::NginxServer::Program().empty()) {
    std::fprintf(stderr, "nginx is not installed (scripts/setup.sh installs it)\n");
    return 1;
  }
  // A Harvion folder of its own: no proxy or user agent of the user's applies.
  const std::string home = hv::fs::JoinPath(dir, "home");
  hv::fs::EnsureDirectory(home);
  ::setenv("HARVION_HOME", home.c_str(), 1);
  EngineApp::Instance().InitInstance();

  Site site;
  if (!MakeSite(hv::fs::JoinPath(dir, "site"), options.files, site)) {
    std::fprintf(stderr, "cannot write the pages\n");
    return 1;
  }
  hvtest::NginxServer nginx(dir);
  hvtest::NginxServer::Options serve;
  serve.root = site.root;
  serve.keepAlive = options.keepAlive;
  if (!nginx.Start(serve)) {
    std::fprintf(stderr, "nginx did not start; its messages:\n%s", nginx.Messages().c_str());
    return 1;
  }
  const std::string base = nginx.BaseUrl();
  const std::string curlProgram = FindProgram("curl");
  std::unique_ptr<Curl> curl;
  if (curlProgram.empty())
    std::printf("curl is not installed: its columns stay empty\n");
  else
    curl = std::make_unique<Curl>(curlProgram, dir, site, base);

  std::printf("%d pages of 2-4 KiB from nginx on 127.0.0.1 (1 worker process, keep-alive %s)\n", options.files,
              options.keepAlive ? "on" : "off");
  std::printf("best of %d runs for each figure; curl with 1 worker sequential, else --parallel --parallel-max N\n",
              options.runs);
  // One untimed pass, so that every run finds the files in the page cache.
  if (!FetchWithEngine(site, base, 4).ok) return 1;

  std::printf("\nworkers  harvion req/s  harvion CPU s/1000  curl req/s  curl CPU s/1000\n");
  bool ok = true;
  for (int workers : {1, 4, 16}) {
    Best engine, other;
    for (int r = 0; r < options.runs; ++r) {
      const Run run = FetchWithEngine(site, base, workers);
      ok = ok && run.ok;
      engine.Add(run, options.files);
      if (!curl) continue;
      const Run curlRun = curl->Fetch(workers);
      ok = ok && curlRun.ok;
      other.Add(curlRun, options.files);
    }
    std::printf("%7d", workers);
    if (engine.any)
      std::printf("  %13.0f  %18.3f", engine.reqPerSec, engine.cpuPer1000);
    else
      std::printf("  %13s  %18s", "-", "-");
    if (other.any)
      std::printf("  %10.0f  %15.3f\n", other.reqPerSec, other.cpuPer1000);
    else
      std::printf("  %10s  %15s\n", "-", "-");
    std::fflush(stdout);
  }

  constexpr double kIdleSeconds = 5;
  double idle = 0;
  if (IdleCpu(kIdleSeconds, idle)) {
    std::printf("idle: harvion server started with 4 workers, %.2f CPU s over %.0f s (target 0.00)\n", idle,
                kIdleSeconds);
  } else {
    std::fprintf(stderr, "the idle server did not start or stop\n");
    ok = false;
  }
  nginx.Stop();
  if (!ok) std::fprintf(stderr, "some fetches failed: the figures above leave those runs out\n");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--files N (1-10000)] [--runs N] [--keepalive]\n", argv[0]);
    return 2;
  }
  const std::string dir = bench::MakeBenchFolder();
  if (dir.empty()) return 1;
  const int result = Bench(options, dir);
  hv::fs::RemoveTree(dir);
  return result;
}
