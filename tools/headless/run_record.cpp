#include "run_record.h"

#include <algorithm>
#include <ctime>

#include "change_output.h"
#include "change_view.h"
#include "run_log.h"

namespace harvion {

namespace {

void AddPages(LoggedRun& run, ChangeKind kind, const std::vector<ChangedPage>& pages, bool stopped) {
  run.counts[static_cast<int>(kind)] = pages.size();
  std::vector<const ChangedPage*> sorted;
  sorted.reserve(pages.size());
  for (const ChangedPage& page : pages) sorted.push_back(&page);
  std::sort(sorted.begin(), sorted.end(),
            [](const ChangedPage* a, const ChangedPage* b) { return a->address < b->address; });
  for (const ChangedPage* page : sorted) {
    if (run.pages.size() >= RunLog::kMaxPages) return;
    LoggedPage logged;
    logged.kind = kind;
    logged.address = page->address;
    logged.title = page->title;
    logged.file = page->localFile;
    if (kind == ChangeKind::modified) logged.previous = page->previousFile;
    if (kind == ChangeKind::gone || kind == ChangeKind::failed)
      logged.reason = LoadOutcome(page->statusCode, page->statusText, page->state, stopped);
    run.pages.push_back(std::move(logged));
  }
}

}  // namespace

std::string RecordRun(const ChangeReport& report, const std::string& agentName, const std::string& agentFolder) {
  LoggedRun run;
  run.start = report.runStart;
  run.end = static_cast<std::uint32_t>(std::time(nullptr));
  run.completed = !report.stopped;
  AddPages(run, ChangeKind::added, report.added, report.stopped);
  AddPages(run, ChangeKind::modified, report.modified, report.stopped);
  AddPages(run, ChangeKind::gone, report.gone, report.stopped);
  AddPages(run, ChangeKind::failed, report.failed, report.stopped);
  std::string error;
  if (!RunLog::Append(agentFolder, run, error)) return {};
  const std::string path = agentFolder + "/" + kChangesPage;
  if (!ReplaceFile(path, ChangesHtml(MakeChangeView(agentName, agentFolder, std::move(run), true)), error)) return {};
  return path;
}

}  // namespace harvion
