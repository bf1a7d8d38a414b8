// harvion run: retrieves an agent or one of its items, shows the progress,
// and reports what changed.
#include <algorithm>
#include <csignal>
#include <ctime>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "change_notice.h"
#include "change_report.h"
#include "commands.h"
#include "display_text.h"
#include "failure.h"
#include "folder_path.h"
#include "harvion/agent_files.h"
#include "harvion/cache_view.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "headless_ui_client.h"
#include "interrupt_watch.h"
#include "node_text.h"
#include "run_progress.h"
#include "run_record.h"
#include "tree_contents.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

// The first location in and under the item, in display order.
const UITreeNode* FirstLocation(const UITreeNode& item) {
  if (item.NodeClass() == kNodeKindPage) return &item;
  for (const UITreeNode* child : item.Children())
    if (const UITreeNode* found = FirstLocation(*child)) return found;
  return nullptr;
}

struct OfflinePages {
  std::string frameSet;   // the agent beside the first location's copy
  std::string startPage;  // that copy alone, for a browser without the agent view
};

// The offline page shows the agent beside the stored copy of the run's first
// location, or its address when nothing of it was stored.
OfflinePages WriteOfflinePages(const UITreeNode& item, const std::string& folder) {
  OfflinePages pages;
  const UITreeNode* location = FirstLocation(item);
  std::string address = "about:blank";
  if (location) {
    address = NodeText(location->m_pNode, itemUrl);
    std::string stored;
    VisitCacheRecords(
        [&](const HvCacheRecord& record) {
          if (record.address == address && record.state == 3 && !record.localFile.empty()) stored = record.localFile;
        },
        false);
    if (!stored.empty()) {
      address = stored;
      pages.startPage = folder + "/" + stored;
    }
  }
  char path[4096];
  if (CSafClient::CreateFrameSet(address.c_str(), path, sizeof path)) pages.frameSet = path;
  return pages;
}

// Saves the index, then the agent file; on failure returns why. An index
// that cannot be written leaves the run's stored files known to no index:
// they go, and the agent stays as it was saved before the run.
std::string SaveAll(const std::string& name) {
  std::string error;
  if (SaveCacheChecked(error)) {
    SaveAgentOrFail(name);
    return {};
  }
  std::string text = "cannot save agent '" + name + "': " + error;
  if (const int removed = RemoveFilesNotInSavedIndex(); removed > 0)
    text += "; the " + std::to_string(removed) + " files this run stored were removed";
  return text;
}

// The addresses of the locations the user put in and under the item, not
// the pages a run found by following links.
void CollectLocations(const UITreeNode& item, std::vector<std::string>& addresses) {
  if (item.NodeClass() == kNodeKindPage && (item.m_nKind & kNodeFlagUserItem))
    addresses.push_back(NodeText(item.m_pNode, itemUrl));
  for (const UITreeNode* child : item.Children()) CollectLocations(*child, addresses);
}

// How many of the locations failed or went in the run.
std::size_t FailedLocations(const UITreeNode& item, const ChangeReport& report) {
  std::vector<std::string> locations;
  CollectLocations(item, locations);
  std::sort(locations.begin(), locations.end());
  std::size_t failed = 0;
  for (const auto* pages : {&report.failed, &report.gone})
    for (const ChangedPage& page : *pages)
      failed += std::binary_search(locations.begin(), locations.end(), page.address) ? 1 : 0;
  return failed;
}

// After Ctrl-C, the pages the stop dropped before any answer came are not
// listed one by one: they are counted, with the pages cut short, in the
// command's last line. Returns that count.
std::size_t SetAsideUnfetched(ChangeReport& report) {
  constexpr int kInterruptedState = 2;
  const auto isCutShort = [](const ChangedPage& page) { return page.state == kInterruptedState; };
  const auto cutShort =
      static_cast<std::size_t>(std::count_if(report.failed.begin(), report.failed.end(), isCutShort));
  const auto dropped = [](const ChangedPage& page) {
    return page.statusCode == 0 && page.statusText.empty() && page.state != kInterruptedState;
  };
  const auto kept = std::remove_if(report.failed.begin(), report.failed.end(), dropped);
  const auto droppedCount = static_cast<std::size_t>(report.failed.end() - kept);
  report.failed.erase(kept, report.failed.end());
  report.retrieved -= std::min(report.retrieved, droppedCount);
  return droppedCount + cutShort;
}

std::string Pages(std::size_t count) { return std::to_string(count) + (count == 1 ? " page" : " pages"); }

}  // namespace

void RunRun(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& agentName = invocation.operands[0];
  UITreeNode* item = &OpenAgent(client, agentName);
  if (invocation.operands.size() > 1) {
    const std::string& path = invocation.operands[1];
    item = FindItem(*item, path);
    if (!item) throw Failure("no item '" + path + "' in agent '" + agentName + "'");
  }

  // A reader that goes away (harvion run | head) must not kill the run
  // before the agent is saved: output then fails, and so does the command.
  std::signal(SIGPIPE, SIG_IGN);
  const RunBaseline before = RunBaseline::Take();
  const std::uint32_t runStart = RunStartAfter(before.Latest());
  RunProgress progress(std::cout, TerminalWidth(), client.FolderBytes());
  // The stop is never asked for once the run has ended and saving began.
  std::mutex endMutex;
  bool ended = false;
  bool cutShort = false;  // the engine stopped the run on an error of its own
  bool interrupted = false;
  HvRunLimits limits;
  std::size_t notFetched = 0;
  std::size_t failedLocations = 0;
  {
    // Ctrl-C stops the run; once it has ended, Ctrl-C only makes the
    // command fail after the agent is saved.
    InterruptWatch watch([&] {
      const std::lock_guard lock(endMutex);
      if (ended) return;
      progress.Stopping();
      CSafClient::HTTPShutdown();
    });
    client.SetRunObserver(&progress);
    if (!item->m_pNode->Run()) {
      client.SetRunObserver(nullptr);
      throw Failure("cannot start a run of agent '" + agentName + "'");
    }
    cutShort = progress.WaitForEnd();
    {
      const std::lock_guard lock(endMutex);
      ended = true;
    }
    client.SetRunObserver(nullptr);
    progress.Finish();

    const std::string folder = GetAgentsDirectory() + "/" + agentName;
    const OfflinePages offline = WriteOfflinePages(*item, folder);
    const std::string saveFailure = SaveAll(agentName);
    ChangeReport report = ClassifyChanges(before, runStart);
    interrupted = InterruptWatch::Interrupted();
    report.stopped = interrupted || cutShort;
    if (interrupted) notFetched = SetAsideUnfetched(report);
    failedLocations = FailedLocations(*item, report);
    // What was fetched is reported even when it could not be kept.
    PrintChangeReport(std::cout, report, folder, {}, offline.startPage);
    const std::string changesPage = RecordRun(report, agentName, folder);
    if (!changesPage.empty()) std::cout << "changes: " << Printable(changesPage) << '\n';
    // The contents page shows the whole agent, whichever item ran; after a
    // failed save the files it would link to are gone.
    std::string contentsError, contents;
    const UITreeNode* agent = client.Agent();
    if (agent && saveFailure.empty()) contents = WriteTreeContents(*agent, folder, &report, contentsError);
    // Any browser shows the contents page; the frameset needs the agent view.
    if (!contents.empty()) std::cout << "read offline: " << Printable(contents) << '\n';
    if (!offline.frameSet.empty()) std::cout << "agent view: " << Printable(offline.frameSet) << '\n';
    if (!contentsError.empty()) std::cerr << "harvion: " << Printable(contentsError) << '\n';
    // The user's command hears of changes; its failure is told, not the run's.
    const ChangeNotice notice =
        ChangeNotice::Of(agentName, report, changesPage.empty() ? folder + "/changes.html" : changesPage, contents);
    if (const std::string why = RunOnChangeCommand(notice); !why.empty()) std::cerr << "harvion: " << why << '\n';
    limits = report.limits;
    if (!saveFailure.empty()) throw Failure(saveFailure);
  }
  if (interrupted) throw Failure(notFetched ? "interrupted: " + Pages(notFetched) + " not fetched" : "interrupted");
  // A limit that left pages out makes the run fail, saying which and how many.
  if (limits.Total() > 0) throw Failure("the run of agent '" + agentName + "' is incomplete: " + LimitsText(limits));
  if (cutShort) throw Failure("the run of agent '" + agentName + "' stopped on an error before its end");
  // A page found by a link may fail without harm; a location the user put in
  // the agent that failed needs their eye.
  if (failedLocations > 0)
    throw Failure(std::to_string(failedLocations) + (failedLocations == 1 ? " location" : " locations") +
                  " of agent '" + agentName + "' failed");
}

}  // namespace harvion
