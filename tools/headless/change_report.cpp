#include "change_report.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "display_text.h"

namespace harvion {

namespace {

enum PageState { kNotStored = 0, kInterrupted = 2, kStored = 3 };

// The index also keeps files of the engine's own, such as its placeholder
// image; only web pages are reported.
bool IsWebAddress(const std::string& address) {
  return strncasecmp(address.c_str(), "http:", 5) == 0 || strncasecmp(address.c_str(), "https:", 6) == 0;
}

ChangedPage PageOf(const HvCacheRecord& record) {
  ChangedPage page;
  page.address = record.address;
  if (record.state != kNotStored) page.localFile = record.localFile;
  page.previousFile = record.previousFile;
  page.title = record.title;
  page.statusCode = record.statusCode;
  page.statusText = record.statusText;
  page.state = record.state;
  return page;
}

std::string Reason(const ChangedPage& page, bool stopped) {
  return LoadOutcome(page.statusCode, page.statusText, page.state, stopped);
}

void PrintPages(std::ostream& out, const char* label, const std::vector<ChangedPage>& pages,
                const std::string& agentFolder, bool withReason, bool stopped) {
  // Sorted by reference: a first run of a large site reports every page.
  std::vector<const ChangedPage*> sorted;
  sorted.reserve(pages.size());
  for (const ChangedPage& page : pages) sorted.push_back(&page);
  std::sort(sorted.begin(), sorted.end(),
            [](const ChangedPage* a, const ChangedPage* b) { return a->address < b->address; });
  for (const ChangedPage* entry : sorted) {
    const ChangedPage& page = *entry;
    out << label << "  " << Printable(page.address);
    if (!page.localFile.empty()) out << "  " << Printable(agentFolder + "/" + page.localFile);
    if (withReason) out << "  (" << Reason(page, stopped) << ")";
    out << '\n';
  }
}

// Of a page asked for in the run. A failed load keeps the copy it had, so
// the state alone does not tell.
bool Failed(const HvCacheRecord& r) { return r.state == kInterrupted || r.statusCode >= 400 || r.statusCode == 0; }

}  // namespace

std::string LoadOutcome(int statusCode, std::string_view statusText, int state, bool stopped) {
  // Without an answer that stands, the engine says why in the status text.
  if (statusCode == 0 && !statusText.empty()) return Printable(statusText);
  if (state == kInterrupted) return "interrupted";
  if (statusCode == 0) return stopped ? "stopped before it came" : "no response";
  std::string text = std::to_string(statusCode);
  if (!statusText.empty()) text += " " + Printable(statusText);
  return text;
}

std::uint32_t LatestTimeStamp(const std::vector<HvCacheRecord>& records) {
  return RunBaseline::Of(records).Latest();
}

std::uint32_t RunStartAfter(std::uint32_t latest) {
  for (;;) {
    const auto now = std::chrono::system_clock::now();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(now);
    const auto second = static_cast<std::uint32_t>(seconds.time_since_epoch().count());
    // A stamp from the future (the clock was set back) is not worth waiting for.
    if (second > latest || latest - second > 1) return second;
    std::this_thread::sleep_until(seconds + std::chrono::seconds(1));
  }
}

RunBaseline RunBaseline::Take() {
  RunBaseline baseline;
  VisitCacheRecords([&baseline](const HvCacheRecord& record) { baseline.Add(record); }, false);
  baseline.Sort();
  return baseline;
}

RunBaseline RunBaseline::Of(const std::vector<HvCacheRecord>& records) {
  RunBaseline baseline;
  for (const HvCacheRecord& record : records) baseline.Add(record);
  baseline.Sort();
  return baseline;
}

void RunBaseline::Add(const HvCacheRecord& r) {
  m_latest = std::max({m_latest, r.lastRetrievalEnd, r.storedAt, r.stateChangedAt});
  if (r.state == kStored || r.state == kInterrupted) m_copies.emplace_back(r.address, r.state);
}

void RunBaseline::Sort() {
  std::sort(m_copies.begin(), m_copies.end());
  m_copies.shrink_to_fit();
}

int RunBaseline::StateOf(const std::string& address) const {
  const auto at = std::lower_bound(m_copies.begin(), m_copies.end(), address,
                                   [](const std::pair<std::string, int>& copy, const std::string& key) {
                                     return copy.first < key;
                                   });
  return at != m_copies.end() && at->first == address ? at->second : kNotStored;
}

namespace {

// Adds one record of the index after the run to the report.
void Classify(ChangeReport& report, const RunBaseline& before, const HvCacheRecord& r, std::uint32_t runStart) {
  if (!IsWebAddress(r.address)) return;
  // The engine gives a page an empty file (and the stored state) before
  // asking for it: only the state before the run tells whether a real copy
  // was there.
  const int was = before.StateOf(r.address);
  const bool hadCopy = was == kStored || was == kInterrupted;
  const bool asked = r.lastRetrievalEnd >= runStart;
  if (asked) ++report.retrieved;
  // A stored copy that went is the news, whatever the server answered. A
  // modified page came with a new body (a 304 keeps the copy) that the
  // server dated no older than ours.
  if (hadCopy && r.state == kNotStored) {
    report.gone.push_back(PageOf(r));
  } else if (asked && Failed(r)) {
    // An interrupted copy is half a page: a failure, not news.
    report.failed.push_back(PageOf(r));
  } else if (r.state == kStored && was != kStored) {
    report.added.push_back(PageOf(r));
  } else if (asked && r.state == kStored && r.modified && r.statusCode == 200) {
    report.modified.push_back(PageOf(r));
  }
}

}  // namespace

ChangeReport ClassifyChanges(const std::vector<HvCacheRecord>& before, const std::vector<HvCacheRecord>& after,
                             std::uint32_t runStart) {
  const RunBaseline baseline = RunBaseline::Of(before);
  ChangeReport report;
  for (const HvCacheRecord& r : after) Classify(report, baseline, r, runStart);
  report.runStart = runStart;
  report.limits = GetRunLimits();
  return report;
}

ChangeReport ClassifyChanges(const RunBaseline& before, std::uint32_t runStart) {
  ChangeReport report;
  VisitCacheRecords([&](const HvCacheRecord& r) { Classify(report, before, r, runStart); }, false);
  report.runStart = runStart;
  report.limits = GetRunLimits();
  return report;
}

std::string LimitsText(const HvRunLimits& limits) {
  std::string text;
  const auto add = [&text](unsigned count, const char* why) {
    if (count == 0) return;
    if (!text.empty()) text += "; ";
    text += std::to_string(count) + (count == 1 ? " page" : " pages") + " not fetched: " + why;
  };
  add(limits.keyLimit, "the agent's cache index holds as many addresses as it takes");
  add(limits.sizeLimit, "the agent's size limit was reached");
  add(limits.depthLimit, "they would lie deeper in the agent's tree than items may");
  return text;
}

std::string ChangeTotals(const ChangeReport& report) {
  return std::to_string(report.added.size()) + " new, " + std::to_string(report.modified.size()) + " modified, " +
         std::to_string(report.gone.size()) + " gone, " + std::to_string(report.failed.size()) + " failed; " +
         std::to_string(report.retrieved) + (report.retrieved == 1 ? " page" : " pages") + " asked for";
}

void PrintChangeReport(std::ostream& out, const ChangeReport& report, const std::string& agentFolder,
                       const std::string& framesetPath, const std::string& startPage) {
  PrintPages(out, "new", report.added, agentFolder, false, report.stopped);
  PrintPages(out, "modified", report.modified, agentFolder, false, report.stopped);
  PrintPages(out, "gone", report.gone, agentFolder, true, report.stopped);
  PrintPages(out, "failed", report.failed, agentFolder, true, report.stopped);
  out << ChangeTotals(report) << '\n';
  if (const std::string limits = LimitsText(report.limits); !limits.empty()) out << limits << '\n';
  // The frameset's left frame is the agent file, which only a browser with
  // the agent view shows; the start page opens in any browser.
  if (!startPage.empty()) out << "start page: " << Printable(startPage) << '\n';
  if (!framesetPath.empty()) out << "read offline: " << Printable(framesetPath) << '\n';
}

}  // namespace harvion
