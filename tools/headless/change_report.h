// What a run changed, from the agent's cache index after it: pages whose
// stored copy appeared (new), was replaced by a newer one (modified) or went
// (gone), and pages the run could not get (failed).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harvion/cache_view.h"
#include "harvion/run_limits.h"

namespace harvion {

struct ChangedPage {
  std::string address;
  std::string localFile;  // the file name in the agent folder; empty when none is stored
  std::string previousFile;  // a modified page's copy before the run, relative to the agent folder
  std::string title;
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
  std::uint32_t runStart = 0;  // the second the run started in
  // The user stopped the run: pages without an answer were dropped, not refused.
  bool stopped = false;
  // Pages the run left unfetched because a limit stopped them.
  HvRunLimits limits;
};

// What the report needs of the index before a run: the pages that had a
// copy, and the latest time stamp. Far smaller than the records.
class RunBaseline {
 public:
  // Of the current agent's index.
  static RunBaseline Take();
  static RunBaseline Of(const std::vector<HvCacheRecord>& records);

  std::uint32_t Latest() const { return m_latest; }
  // The record's state before the run; not stored when it had no copy.
  int StateOf(const std::string& address) const;

 private:
  void Add(const HvCacheRecord& record);
  void Sort();

  std::vector<std::pair<std::string, int>> m_copies;  // by address
  std::uint32_t m_latest = 0;
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
// The same from the baseline taken before the run and the current agent's
// index as it is now, with the limits of the run that just ended.
ChangeReport ClassifyChanges(const RunBaseline& before, std::uint32_t runStart);

// One line per page ("new  ADDRESS  FILE"), by address within each kind, then the totals, a line for
// each limit that left pages unfetched and, when there are, the stored start page and the page for
// reading the agent offline.
void PrintChangeReport(std::ostream& out, const ChangeReport& report, const std::string& agentFolder,
                       const std::string& framesetPath, const std::string& startPage);
// Why a page's last load came out as it did, as a failed page's line says
// and the desktop shows beside the page: the status line of the answer that
// stands ("404 Not Found"), else the engine's words for why none came ("host
// name not found"), "interrupted" for a copy cut short. UTF-8, with control
// characters made visible. stopped: the user stopped the run.
std::string LoadOutcome(int statusCode, std::string_view statusText, int state, bool stopped);
// "1 new, 2 modified, 0 gone, 1 failed; 9 pages asked for"
std::string ChangeTotals(const ChangeReport& report);
// "3 pages not fetched: the agent's size limit was reached; ..." for the
// limits that left pages unfetched; empty when none did.
std::string LimitsText(const HvRunLimits& limits);

}  // namespace harvion
