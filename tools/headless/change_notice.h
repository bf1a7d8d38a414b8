// Telling the user that a run found changes: the command the user set
// ("harvion config on-change"), and a notification on the desktop. Nothing
// from a page reaches either as text to be interpreted: the command line is
// the user's own, and what the run found goes only into its environment.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "change_report.h"

namespace harvion {

struct ChangeNotice {
  std::string agent;
  std::size_t added = 0, modified = 0, gone = 0, failed = 0;
  std::string report;    // the agent's changes.html
  std::string contents;  // the agent's contents.html; empty when none was written

  static ChangeNotice Of(const std::string& agent, const ChangeReport& report, const std::string& reportPath,
                         const std::string& contentsPath);
  // Worth telling: something is new, modified, gone or failed.
  bool Any() const { return added + modified + gone + failed > 0; }
  // "Harvion: News changed"
  std::string Summary() const;
  // "2 new, 1 modified, 0 gone, 1 failed"
  std::string Body() const;
  // HARVION_AGENT=..., HARVION_NEW=..., and the rest, for the command.
  std::vector<std::string> Environment() const;
};

// How long a run waits for the user's command before stopping it.
constexpr std::chrono::seconds kChangeCommandLimit{30};

// The command set with "harvion config on-change"; empty when none.
std::string OnChangeCommand();

// Runs the command with /bin/sh -c in a process group of its own, its input
// from /dev/null, its output on our standard error and the notice in its
// environment. Waits at most limit, then stops the group. Empty when it
// exited with status 0; else one line saying what became of it.
std::string RunChangeCommand(const std::string& command, const ChangeNotice& notice,
                             std::chrono::milliseconds limit = kChangeCommandLimit);

// The on-change command when one is set and the notice is worth it; empty,
// or the line of RunChangeCommand.
std::string RunOnChangeCommand(const ChangeNotice& notice);

}  // namespace harvion
