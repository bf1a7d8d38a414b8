// Closing an agent with many locations under the command-line tool's tree
// of UI nodes, as every harvion command does at its end.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/agent/agent_manager.h"
#include "engine/settings/engine_app.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "platform/files/file_system.h"
#include "tools/harvion/headless_ui_client.h"

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
bool TimeClose(const std::string& name, int locations, double& ms) {
  CSafNode* agent = CSafClient::CreateAgent(name.c_str());
  if (!agent) return false;
  for (int i = 0; i < locations; ++i) {
    const std::string url = "http://www.example.com/page" + std::to_string(i % kAddresses) + ".html";
    if (!CSafClient::CreateHTMLNode(agent, "", url.c_str(), 0)) return false;
  }
  CSafClient::SaveAgentFile();  // the close that is timed has nothing to write
  const double start = ThreadMilliseconds();
  CSafClient::DeleteAgent();
  ms = ThreadMilliseconds() - start;
  return CAgentManager::Instance().Agent() == nullptr;
}

}  // namespace

int main() {
  std::string dir = hv::fs::JoinPath(hv::fs::TempDirectory(), "hvbench.XXXXXX");
  if (!::mkdtemp(dir.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  ::setenv("HARVION_HOME", dir.c_str(), 1);
  EngineApp::Instance().InitInstance();
  int status = 0;
  {
    harvion::HeadlessUIClient client;
    CSafClient::GetSafClient()->Connect(&client);
    for (int locations : {4000, 40000}) {
      std::vector<double> times;
      for (int run = 0; run < kRuns; ++run) {
        double ms = 0;
        const std::string name = "Bench" + std::to_string(locations) + "-" + std::to_string(run);
        if (!TimeClose(name, locations, ms)) {
          std::fprintf(stderr, "agent of %d locations could not be built or closed\n", locations);
          status = 1;
          break;
        }
        times.push_back(ms);
      }
      if (times.empty()) break;
      std::sort(times.begin(), times.end());
      std::printf("close %d locations: best %.1f ms, median %.1f ms of processor time\n", locations, times.front(),
                  times[times.size() / 2]);
    }
    CSafClient::GetSafClient()->Connect(nullptr);
  }
  hv::fs::RemoveTree(dir);
  return status;
}
