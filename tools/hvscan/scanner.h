// One look at the run entries: every entry that is due is run, one at a
// time, and its run recorded in the entry and in the log.
#pragma once

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "scan_log.h"
#include "scheduled_run.h"

namespace hvscan {

// The key of every entry below the run key, in the store's order; empty
// when unattended runs are off (then enabled is false).
std::vector<std::string> RunEntryKeys(bool& enabled);

class Scanner {
 public:
  Scanner(harvion::HeadlessUIClient& client, ScanLog& log, RunGate& gate);

  // Runs what is due now. False when unattended runs are off.
  bool ScanOnce();
  // How many due items of the last look could not be run (their agent is
  // gone or unreadable, or the run failed or was cut short).
  int Failures() const { return m_failures; }

 private:
  void RunEntryNow(const RunEntry& entry);

  harvion::HeadlessUIClient& m_client;
  ScanLog& m_log;
  RunGate& m_gate;
  // Entries waiting for another program to let go of their agent; logged once.
  std::set<std::string> m_waiting;
  int m_failures = 0;
};

// The entries with their schedules and their last and next runs, for
// hvscan --status; each item is looked up in its agent through client.
void PrintStatus(std::ostream& out, harvion::HeadlessUIClient& client);

}  // namespace hvscan
