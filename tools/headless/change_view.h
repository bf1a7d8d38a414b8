// One run's changes as every report shows them (text, HTML, JSON): the
// pages from the agent's run log and, for each modified page, the words of
// its visible text that changed, from its stored copy and its earlier one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "run_log.h"
#include "word_diff.h"

namespace harvion {

enum class Difference {
  none,          // not a modified page
  shown,         // the changes are listed
  sameText,      // the visible text is the same: only markup changed
  throughout,    // too large or too unlike to compare word by word
  noPrevious,    // no earlier copy was kept
  previousGone,  // the earlier copy is no longer there
  olderRun,      // a later run has replaced the copies
  unreadable,    // a copy could not be read
};

// "shown", "same-text", ... as the JSON report names them.
const char* DifferenceName(Difference difference);
// A sentence for the reader; empty for none and shown.
const char* DifferenceNote(Difference difference);

// Words of the visible text, UTF-8, spaced as in the text; a long run of
// words, or a long word, is cut and ends with "…".
struct TextSegment {
  WordRun::Kind kind = WordRun::Kind::same;
  bool spaceBefore = false;  // the text has a space between this and the segment before
  std::string text;
};
// One place where the text changed, with a few words around it.
struct TextChange {
  bool moreBefore = false;  // words before the first segment are left out
  bool moreAfter = false;
  std::vector<TextSegment> segments;
};

struct PageChange {
  LoggedPage page;
  Difference difference = Difference::none;
  std::vector<TextChange> changes;
  std::size_t changesNotShown = 0;
};

struct ChangeView {
  std::string agentName;
  std::string agentFolder;
  LoggedRun run;  // without its pages, which are below
  bool latest = false;  // the agent's last run, whose copies are still there
  std::vector<PageChange> pages;  // in the log's order
};

// Time spent reading copies, apart from the rest of the work.
struct CopyReading {
  double seconds = 0;
  std::size_t bytes = 0;
};

// The view of a run of the log, with the differences when latest.
ChangeView MakeChangeView(const std::string& agentName, const std::string& agentFolder, LoggedRun run, bool latest,
                          CopyReading* reading = nullptr);

// A copy's path relative to the agent folder that stays inside it (no
// leading '/', no "." or ".." part, no empty part); only such are read and linked.
bool IsInsideFolder(const std::string& relative);

}  // namespace harvion
