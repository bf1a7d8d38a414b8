// What a run changed, from the agent's cache index after it: pages whose
// stored copy appeared (new), was replaced by a newer one (modified) or went
// (gone), and pages the run could not get (failed).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "harvion/cache_view.h"

namespace harvion {

struct ChangedPage {
  std::string address;
  std::string localFile;  // the file name in the agent folder; empty when none is stored
  int statusCode = 0;
  std::string statusText;
  int state = 0;
};

struct ChangeReport {
  std::vector<ChangedPage> added;
  std::vector<ChangedPage> modified;
  std::vector<ChangedPage> gone;
  std::vector<ChangedPage> failed;
  std::size_t retrieved = 0;  // pages the run asked a server for
  // The user stopped the run: pages without an answer were dropped, not refused.
  bool stopped = false;
};

// The latest time stamp of the records: a run must start after it, or what
// an earlier run did within the same second would count as this run's.
std::uint32_t LatestTimeStamp(const std::vector<HvCacheRecord>& records);

// The second a run starts in: the first after latest. Time stamps are whole
// seconds, so a run that began in the second an earlier one ended could not
// tell their changes apart; this waits for the next second when needed.
std::uint32_t RunStartAfter(std::uint32_t latest);

// before and after: the records ahead of the run and after it; runStart: the
// second the run started, later than every time stamp the index held before.
ChangeReport ClassifyChanges(const std::vector<HvCacheRecord>& before, const std::vector<HvCacheRecord>& after,
                             std::uint32_t runStart);

// One line per page ("new  ADDRESS  FILE"), by address within each kind, then the totals and, when there
// are, the stored start page and the page for reading the agent offline.
void PrintChangeReport(std::ostream& out, const ChangeReport& report, const std::string& agentFolder,
                       const std::string& framesetPath, const std::string& startPage);

}  // namespace harvion
