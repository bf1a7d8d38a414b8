// The agent's run log: what each of its last runs changed, kept in a small
// text file in the agent folder so that a report can be made again later.
//
// The file, "Harvion Cache.hvc.runs" (beside the cache index, whose name it
// begins with, so that the folder still holds only the engine's files): the
// line "harvion run log 1", then for each run, oldest first, the line
// "run", NUMBER, START, END (seconds since 1970), "completed" or "stopped",
// and the counts of new, modified, gone and failed pages; then a line per
// page listed: "page", KIND ("new", "modified", "gone", "failed"), ADDRESS,
// TITLE, FILE, PREVIOUS, REASON. Fields are separated by TAB; '%', control
// bytes and DEL in them are written %XX. Lines end with LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace harvion {

enum class ChangeKind { added, modified, gone, failed };

// "new", "modified", "gone", "failed".
const char* ChangeKindName(ChangeKind kind);

struct LoggedPage {
  ChangeKind kind = ChangeKind::added;
  std::string address;
  std::string title;
  std::string file;      // the stored copy, relative to the agent folder; empty when none
  std::string previous;  // a modified page's copy before the run, relative to the agent folder; empty when none
  std::string reason;    // why a failed or gone page came out so
};

struct LoggedRun {
  unsigned number = 0;  // 1 for an agent's first run
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  bool completed = true;  // false: stopped before its end
  std::size_t counts[4] = {};  // by ChangeKind; a run lists at most kMaxPages pages
  std::vector<LoggedPage> pages;
};

class RunLog {
 public:
  static constexpr std::size_t kMaxRuns = 20;
  // Pages listed per run: the first run of a large site finds every page new.
  static constexpr std::size_t kMaxPages = 20000;
  // A larger file is not one this program wrote.
  static constexpr std::size_t kMaxFile = 48u << 20;

  static std::string FileName();

  // The runs of the file in the folder, oldest first; lines that cannot be
  // read are passed over, a missing, odd or oversized file has none.
  static std::vector<LoggedRun> Read(const std::string& folder);
  static std::vector<LoggedRun> Parse(const std::string& text);
  static std::string Text(const std::vector<LoggedRun>& runs);

  // Gives the run the next number and trims it to the limits, then adds it,
  // keeping the last kMaxRuns runs, and writes the file by replacing it
  // whole. False with the reason when it cannot be written.
  static bool Append(const std::string& folder, LoggedRun& run, std::string& error);
};

// Writes path by a temporary file beside it renamed over it, so that a
// reader never sees half of it. False with the reason on failure.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace harvion
