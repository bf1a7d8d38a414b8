// One scheduled run: the agent named by a run entry is opened (unless
// another program has it), the entry's node is run with nobody present, and
// the agent is saved and closed again.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "change_notice.h"
#include "headless_ui_client.h"

namespace hvscan {

// What a run entry names.
struct RunEntry {
  std::string key;  // the entry's key path in the settings store
  std::string agentId;
  std::string file;
  std::string schedule;
  long lastRun = 0;  // as the entry records it; 0 for never
};

struct RunOutcome {
  enum Result {
    done,      // ran to its end (pages may still have failed)
    stopped,   // the scheduler was told to stop during the run
    cutShort,  // the engine ended the run early, on a full disk say
    busy,      // another program has the agent open: try again later
    noAgent,   // the agent file is gone or cannot be read
    noNode,    // the agent holds no node with this path and schedule
    failed,    // the run could not start, or the agent could not be saved
  };
  Result result = failed;
  std::string detail;
  std::size_t added = 0, modified = 0, gone = 0, failedPages = 0;
  std::string limits;  // the pages a limit left unfetched, empty when none
  long ended = 0;  // when the run ended, seconds since 1970
  std::string agent;     // the agent's name, once a run was made
  std::string folder;    // the agent folder, once a run was made
  harvion::ChangeNotice notice;  // what the run changed, for the user's command and the desktop
  std::string contents;  // the contents page written after the run; empty when none
  std::string warning;   // what went wrong beside the run, for the log
};

// "done", "busy", ... as the log shows them.
const char* ResultName(RunOutcome::Result result);

// Lets a stop request reach the run going on, from another thread.
class RunGate {
 public:
  // False when a stop was asked for already: the run is not started.
  bool Enter();
  void Leave();
  // Stops the run going on, if any, and every later one.
  void Stop();
  bool Stopped();

 private:
  std::mutex m_mutex;
  bool m_running = false;
  bool m_stopped = false;
};

// The agent's name from its file ("/x/Club News.hvx" -> "Club News"), and
// its folder; false when the path does not name an agent file.
bool SplitAgentFile(const std::string& file, std::string& folder, std::string& name);

// The node's path as people read it: the names joined by " > ".
std::string DisplayPath(const std::string& agentId);

RunOutcome RunScheduledNode(const RunEntry& entry, const std::string& agentFolders, harvion::HeadlessUIClient& client,
                            RunGate& gate);

}  // namespace hvscan
