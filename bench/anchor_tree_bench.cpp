// Taking many items out of an agent under the command-line tool's tree of
// UI nodes: closing the agent, as every harvion command does at its end, and
// clearing the pages a location found.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/base_node.h"
#include "engine/agent/html_anchor.h"
#include "engine/cache/cache.h"
#include "engine/settings/engine_app.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "platform/files/file_system.h"
#include "tools/headless/headless_ui_client.h"

namespace {

constexpr int kRuns = 5;
// The cache index takes fewer addresses than the larger agent has locations:
// locations share them.
constexpr int kAddresses = 4000;

// Processor time of this thread: the machine running benchmarks is shared,
// and waiting for a processor is no part of the close.
double ThreadMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Builds and saves an agent of that many locations, then times its close.
bool TimeClose(const std::string& name, int count, double& ms) {
  CSafNode* agent = CSafClient::CreateAgent(name.c_str());
  if (!agent) return false;
  for (int i = 0; i < count; ++i) {
    const std::string url = "http://www.example.com/page" + std::to_string(i % kAddresses) + ".html";
    if (!CSafClient::CreateHTMLNode(agent, "", url.c_str(), 0)) return false;
  }
  CSafClient::SaveAgentFile();  // the close that is timed has nothing to write
  const double start = ThreadMilliseconds();
  CSafClient::DeleteAgent();
  ms = ThreadMilliseconds() - start;
  return CAgentManager::Instance().Agent() == nullptr;
}

// Builds an agent with one location that found that many pages, then times
// clearing its cache, which drops the pages and keeps the location.
bool TimeClear(const std::string& name, int count, double& ms) {
  CSafNode* agent = CSafClient::CreateAgent(name.c_str());
  if (!agent) return false;
  CSafNode* node = CSafClient::CreateHTMLNode(agent, "", "http://www.example.com/", 0);
  if (!node) return false;
  CAnchor* location = static_cast<CBaseNode*>(node)->m_pAnchor;
  for (int i = 0; i < count; ++i) {
    auto page = std::make_unique<CHTMLAnchor>();
    const std::string url = "http://www.example.com/page" + std::to_string(i % kAddresses) + ".html";
    page->m_pPage = CAgentManager::Instance().Cache()->FindOrCreate(url);
    if (!location->InsertChild(std::move(page), 0)) return false;
  }
  const double start = ThreadMilliseconds();
  CSafClient::ClearCache();
  ms = ThreadMilliseconds() - start;
  const bool cleared = location->GetChildCount() == 0;
  CSafClient::DeleteAgent();
  return cleared;
}

}  // namespace

int main() {
  const std::string dir = bench::MakeBenchFolder();
  if (dir.empty()) return 1;
  ::setenv("HARVION_HOME", dir.c_str(), 1);
  EngineApp::Instance().InitInstance();
  int status = 0, agents = 0;
  {
    harvion::HeadlessUIClient client;
    CSafClient::GetSafClient()->Connect(&client);
    struct Measure {
      const char* what;
      bool (*time)(const std::string&, int, double&);
    } measures[] = {{"close an agent of", TimeClose}, {"clear a location that found", TimeClear}};
    for (const Measure& measure : measures) {
      for (int count : {4000, 40000}) {
        std::vector<double> times;
        for (int run = 0; run < kRuns && status == 0; ++run) {
          double ms = 0;
          if (!measure.time("Bench" + std::to_string(++agents), count, ms)) {
            std::fprintf(stderr, "%s %d items: could not be built or timed\n", measure.what, count);
            status = 1;
          }
          times.push_back(ms);
        }
        if (status) break;
        std::sort(times.begin(), times.end());
        std::printf("%s %d items: best %.1f ms, median %.1f ms of processor time\n", measure.what, count,
                    times.front(), times[times.size() / 2]);
      }
    }
    CSafClient::GetSafClient()->Connect(nullptr);
  }
  hv::fs::RemoveTree(dir);
  return status;
}
