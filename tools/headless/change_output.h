// The three forms of a run's change report, all made from one ChangeView.
#pragma once

#include <ostream>
#include <string>

#include "change_view.h"

namespace harvion {

// For a terminal: a heading line, the totals, then a line per page
// ("modified  ADDRESS  FILE  "TITLE"") with its changes below it, removed
// words in [-...-] and added ones in {+...+}.
void WriteChangesText(std::ostream& out, const ChangeView& view);
// A page for any browser: UTF-8, styles inline, no scripts; pages linked to
// their stored copies (relative to the agent folder) and to their
// addresses, each entry with the id ChangeAnchor gives its address.
std::string ChangesHtml(const ChangeView& view);
// The report as one JSON object; its shape is in docs/change-report.md.
void WriteChangesJson(std::ostream& out, const ChangeView& view);

// "2026-12-10 15:50:02" in local time; "-" for 0.
std::string LocalTimeText(std::uint32_t seconds);
// "2026-12-10 15:50:02 to 15:51:40": the end's date only when it differs.
std::string RunTimesText(const LoggedRun& run);

}  // namespace harvion
