#include "scheduled_run.h"

#include <condition_variable>
#include <ctime>

#include "change_report.h"
#include "display_text.h"
#include "run_record.h"
#include "harvion/agent_files.h"
#include "harvion/cache_view.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "tree_contents.h"

namespace hvscan {

namespace {

constexpr std::string_view kAgentSuffix = ".hvx";

// Waits for the engine to report the end of the run.
class RunEnd final : public harvion::RunObserver {
 public:
  void PageQueued() override {}
  void PageStarted(const std::string&) override {}
  void PageLoaded(const std::string&, const _httpRetrieveResult&) override {}
  void Statistics(unsigned long, unsigned long) override {}
  void ServerProgress(CUIClient::serverProgress progress) override {
    if (progress != CUIClient::spFinished && progress != CUIClient::spInterrupted) return;
    const std::lock_guard lock(m_mutex);
    m_ended = true;
    m_interrupted = progress == CUIClient::spInterrupted;
    m_changed.notify_all();
  }
  // True when the run ended interrupted.
  bool Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_ended; });
    return m_interrupted;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_ended = false;
  bool m_interrupted = false;
};

RunOutcome Outcome(RunOutcome::Result result, std::string detail) {
  RunOutcome outcome;
  outcome.result = result;
  outcome.detail = std::move(detail);
  outcome.ended = static_cast<long>(std::time(nullptr));
  return outcome;
}

}  // namespace

const char* ResultName(RunOutcome::Result result) {
  switch (result) {
    case RunOutcome::done:
      return "done";
    case RunOutcome::stopped:
      return "stopped";
    case RunOutcome::cutShort:
      return "cut short";
    case RunOutcome::busy:
      return "busy";
    case RunOutcome::noAgent:
      return "no agent";
    case RunOutcome::noNode:
      return "no such item";
    case RunOutcome::failed:
      break;
  }
  return "failed";
}

bool RunGate::Enter() {
  const std::lock_guard lock(m_mutex);
  if (m_stopped) return false;
  m_running = true;
  return true;
}

void RunGate::Leave() {
  const std::lock_guard lock(m_mutex);
  m_running = false;
}

void RunGate::Stop() {
  const std::lock_guard lock(m_mutex);
  m_stopped = true;
  // Under the lock: the run cannot end and a new one start in between.
  if (m_running) CSafClient::HTTPShutdown();
}

bool RunGate::Stopped() {
  const std::lock_guard lock(m_mutex);
  return m_stopped;
}

bool SplitAgentFile(const std::string& file, std::string& folder, std::string& name) {
  const std::size_t slash = file.rfind('/');
  if (file.empty() || file[0] != '/' || slash == std::string::npos) return false;
  folder = slash == 0 ? "/" : file.substr(0, slash);
  const std::string base = file.substr(slash + 1);
  if (base.size() <= kAgentSuffix.size() || !base.ends_with(kAgentSuffix)) return false;
  name = base.substr(0, base.size() - kAgentSuffix.size());
  return true;
}

std::string DisplayPath(const std::string& agentId) {
  std::string text;
  for (const char c : agentId) {
    if (c == '\x07')
      text += " > ";
    else
      text += c;
  }
  return harvion::Printable(text);
}

RunOutcome RunScheduledNode(const RunEntry& entry, const std::string& agentFolders, harvion::HeadlessUIClient& client,
                            RunGate& gate) {
  std::string folder, name;
  if (!SplitAgentFile(entry.file, folder, name)) return Outcome(RunOutcome::noAgent, "not an agent file");
  CSafClient::SetUnattended(folder.c_str(), agentFolders.c_str());
  const int opened = TryLoadAgentFile(name.c_str());
  if (opened < 0) return Outcome(RunOutcome::busy, "open in another program");
  if (opened == 0) return Outcome(RunOutcome::noAgent, "cannot open the agent file");

  RunOutcome outcome;
  CSafNode* node = CSafClient::FindAgent(entry.agentId.c_str(), entry.schedule.c_str());
  if (!node) {
    outcome = Outcome(RunOutcome::noNode, "no item with this schedule");
  } else if (!gate.Enter()) {
    outcome = Outcome(RunOutcome::stopped, "");
  } else {
    // Only each address's state is kept, not a copy of every record.
    const harvion::RunBaseline before = harvion::RunBaseline::Take();
    const std::uint32_t runStart = harvion::RunStartAfter(before.Latest());
    RunEnd end;
    client.SetRunObserver(&end);
    bool interrupted = false;
    const bool started = node->Run() != 0;
    if (started) interrupted = end.Wait();
    client.SetRunObserver(nullptr);
    gate.Leave();

    if (!started) {
      outcome = Outcome(RunOutcome::failed, "the run did not start");
    } else {
      outcome = Outcome(RunOutcome::done, "");
      if (interrupted) outcome.result = gate.Stopped() ? RunOutcome::stopped : RunOutcome::cutShort;
      harvion::ChangeReport report = harvion::ClassifyChanges(before, runStart);
      report.stopped = interrupted;
      const std::string changesPage = harvion::RecordRun(report, name, GetAgentsDirectory() + "/" + name);
      outcome.added = report.added.size();
      outcome.modified = report.modified.size();
      outcome.gone = report.gone.size();
      outcome.failedPages = report.failed.size();
      outcome.limits = harvion::LimitsText(report.limits);
      outcome.notice = harvion::ChangeNotice::Of(
          name, report, changesPage.empty() ? agentFolders + "/" + name + "/" + harvion::kChangesPage : changesPage, "");
      outcome.agent = name;
      outcome.folder = agentFolders + "/" + name;
      // The whole agent's contents, whichever item ran.
      std::string why;
      if (const harvion::UITreeNode* agent = client.Agent())
        outcome.contents = harvion::WriteTreeContents(*agent, outcome.folder, &report, why);
      outcome.notice.contents = outcome.contents;
      if (outcome.contents.empty() && !why.empty()) outcome.warning = "no contents page: " + why;
    }
  }
  std::string error;
  if (!SaveCacheChecked(error) || !SaveAgentFileChecked(error)) {
    outcome.result = RunOutcome::failed;
    outcome.detail = "cannot save the agent: " + error;
  }
  // Closing releases the agent for the desktop program.
  CSafClient::DeleteAgent();
  return outcome;
}

}  // namespace hvscan
