#include "change_report.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <unordered_map>

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
  return {record.address, record.state == kNotStored ? std::string() : record.localFile, record.statusCode,
          record.statusText, record.state};
}

// Why a page failed, for its line.
std::string Reason(const ChangedPage& page, bool stopped) {
  // Without an answer that stands, the engine says why in the status text.
  if (page.statusCode == 0 && !page.statusText.empty()) return Printable(page.statusText);
  if (page.state == kInterrupted) return "interrupted";
  if (page.statusCode == 0) return stopped ? "stopped before it came" : "no response";
  std::string text = std::to_string(page.statusCode);
  if (!page.statusText.empty()) text += " " + Printable(page.statusText);
  return text;
}

void PrintPages(std::ostream& out, const char* label, std::vector<ChangedPage> pages, const std::string& agentFolder,
                bool withReason, bool stopped) {
  std::sort(pages.begin(), pages.end(),
            [](const ChangedPage& a, const ChangedPage& b) { return a.address < b.address; });
  for (const ChangedPage& page : pages) {
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

std::uint32_t LatestTimeStamp(const std::vector<HvCacheRecord>& records) {
  std::uint32_t latest = 0;
  for (const HvCacheRecord& r : records)
    latest = std::max({latest, r.lastRetrievalEnd, r.storedAt, r.stateChangedAt});
  return latest;
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

ChangeReport ClassifyChanges(const std::vector<HvCacheRecord>& before, const std::vector<HvCacheRecord>& after,
                             std::uint32_t runStart) {
  // The engine gives a page an empty file (and the stored state) before
  // asking for it: only the state before the run tells whether a real copy
  // was there.
  std::unordered_map<std::string, int> stateBefore;
  for (const HvCacheRecord& r : before) stateBefore[r.address] = r.state;
  ChangeReport report;
  for (const HvCacheRecord& r : after) {
    if (!IsWebAddress(r.address)) continue;
    const auto found = stateBefore.find(r.address);
    const int was = found == stateBefore.end() ? kNotStored : found->second;
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
  return report;
}

void PrintChangeReport(std::ostream& out, const ChangeReport& report, const std::string& agentFolder,
                       const std::string& framesetPath, const std::string& startPage) {
  PrintPages(out, "new", report.added, agentFolder, false, report.stopped);
  PrintPages(out, "modified", report.modified, agentFolder, false, report.stopped);
  PrintPages(out, "gone", report.gone, agentFolder, true, report.stopped);
  PrintPages(out, "failed", report.failed, agentFolder, true, report.stopped);
  out << report.added.size() << " new, " << report.modified.size() << " modified, " << report.gone.size()
      << " gone, " << report.failed.size() << " failed; " << report.retrieved
      << (report.retrieved == 1 ? " page" : " pages") << " asked for\n";
  // The frameset's left frame is the agent file, which only a browser with
  // the agent view shows; the start page opens in any browser.
  if (!startPage.empty()) out << "start page: " << Printable(startPage) << '\n';
  if (!framesetPath.empty()) out << "read offline: " << Printable(framesetPath) << '\n';
}

}  // namespace harvion
