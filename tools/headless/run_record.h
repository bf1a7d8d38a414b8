// What every front end does when a run ends: the run goes into the agent's
// run log, and the agent's change report page is written anew.
#pragma once

#include <string>

#include "change_report.h"

namespace harvion {

// The report page's name in the agent folder.
constexpr char kChangesPage[] = "changes.html";

// Appends the run to the log in agentFolder and replaces agentFolder's
// changes.html whole with the report of it. Returns the page's path; empty
// when it could not be written (the run itself is not harmed).
std::string RecordRun(const ChangeReport& report, const std::string& agentName, const std::string& agentFolder);

}  // namespace harvion
