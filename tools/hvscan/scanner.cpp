#include "scanner.h"

#include <ctime>
#include <optional>

#include "desktop_notice.h"
#include "display_text.h"
#include "harvion/exports.h"
#include "harvion/schedule.h"
#include "harvion/settings.h"
#include "item_path.h"

namespace hvscan {

namespace {

class KeyCollector final : public CStringEnumerator {
 public:
  int Enumerate(const char* name, const char*) override {
    names.emplace_back(name);
    return 1;
  }
  std::vector<std::string> names;
};

std::string CacheFolder() {
  for (const CEngineSettings::Item& item : CEngineSettings::List())
    if (item.name == "cache-folder") return item.value;
  return {};
}

RunEntry LoadEntry(const std::string& key) {
  RunEntry entry;
  entry.key = key;
  entry.lastRun = LoadAgentInfo(key.c_str(), entry.agentId, entry.file, entry.schedule);
  return entry;
}

std::string RunTime(long when) {
  if (when <= 0) return "never";
  const std::time_t t = when;
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  return std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M", &local) ? text : "?";
}

std::string NextRunText(long next) {
  if (next < 0) return "never (the schedule's kind is unknown)";
  return next ? RunTime(next) : std::string("none (the schedule is gone)");
}

// The entry as a user names it: 'agent "News", item "Local/Town hall"', the
// item's path as harvion tree shows it and harvion run takes it; the folder
// too when the agent lies outside the agents folder. Without a path found in
// the agent, the item is named by the entry's names.
std::string EntryName(const RunEntry& entry, std::optional<std::string> path, bool missing = false) {
  std::string folder, name;
  std::string text = SplitAgentFile(entry.file, folder, name) ? "agent " + harvion::Quoted(name)
                                                               : "agent file " + harvion::Quoted(entry.file);
  if (!folder.empty() && folder != GetAgentsDirectory()) text += " in " + harvion::Quoted(folder);
  if (!path) {
    // The first name is the agent's own.
    path.emplace();
    for (std::size_t at = entry.agentId.find('\x07'); at != std::string::npos;) {
      const std::size_t next = entry.agentId.find('\x07', at + 1);
      const std::string quoted = harvion::QuotedFolderName(
          entry.agentId.substr(at + 1, next == std::string::npos ? next : next - at - 1));
      *path += (path->empty() ? "" : "/") + quoted.substr(1, quoted.size() - 2);
      at = next;
    }
  }
  if (!path->empty()) text += ", item \"" + *path + "\"";
  if (missing) text += " (not found)";
  return text + ", schedule " + harvion::Quoted(entry.schedule);
}

// The same, the path looked up in the agent; an item the agent no longer
// holds is said to be missing.
std::string ItemName(const RunEntry& entry, harvion::HeadlessUIClient& client) {
  const std::optional<std::string> path = ItemPath(entry, CacheFolder(), client);
  return EntryName(entry, path, !path);
}

}  // namespace

std::vector<std::string> RunEntryKeys(bool& enabled) {
  char runKey[1024] = {};
  enabled = GetScheduleRunKeyName(runKey) != 0;
  if (!enabled) return {};
  KeyCollector collector;
  KeyEnumerate(HKEY_CURRENT_USER, runKey, &collector);
  std::vector<std::string> keys;
  for (const std::string& name : collector.names) keys.push_back(std::string(runKey) + '\\' + name);
  return keys;
}

Scanner::Scanner(harvion::HeadlessUIClient& client, ScanLog& log, RunGate& gate)
    : m_client(client), m_log(log), m_gate(gate) {}

bool Scanner::ScanOnce() {
  m_failures = 0;
  bool enabled = false;
  const std::vector<std::string> keys = RunEntryKeys(enabled);
  for (const std::string& key : keys) {
    if (m_gate.Stopped()) break;
    // A run that could not be made counts as the last one: the entry waits
    // for its next time. NeedToRun also blanks an entry whose schedule is gone.
    if (!NeedToRun(key.c_str(), LastFailedRun(key.c_str()))) continue;
    const RunEntry entry = LoadEntry(key);
    if (entry.agentId.empty() || entry.file.empty()) continue;
    RunEntryNow(entry);
  }
  return enabled;
}

void Scanner::RunEntryNow(const RunEntry& entry) {
  int threads = 0, timeout = 0, autodial = 0;
  char connection[260] = {};
  LoadConnectionInfo(&threads, &timeout, &autodial, connection);
  const RunOutcome outcome = RunScheduledNode(entry, CacheFolder(), m_client, m_gate);
  if (outcome.result == RunOutcome::busy) {
    // Tried again at every wake-up until the other program lets go. Named
    // by the entry: the other program has the agent.
    if (m_waiting.insert(entry.key).second)
      m_log.Write("waiting: " + EntryName(entry, std::nullopt) + ": " + outcome.detail);
    return;
  }
  m_waiting.erase(entry.key);
  // As --status and harvion tree name it, read from the agent the run saved.
  const std::string what = ItemName(entry, m_client);
  std::string line = std::string(ResultName(outcome.result)) + ": " + what;
  if (autodial) line += ", dialling " + harvion::Quoted(connection);
  if (outcome.result == RunOutcome::done || outcome.result == RunOutcome::stopped ||
      outcome.result == RunOutcome::cutShort) {
    line += ": " + std::to_string(outcome.added) + " new, " + std::to_string(outcome.modified) + " modified, " +
            std::to_string(outcome.gone) + " gone, " + std::to_string(outcome.failedPages) + " failed";
    if (!outcome.limits.empty()) line += "; " + outcome.limits;
  }
  if (!outcome.detail.empty()) line += ": " + outcome.detail;
  // The node is gone or has another schedule now: the entry names nothing.
  // Saving the agent makes a new one for a node that still has a schedule.
  if (outcome.result == RunOutcome::noNode) {
    BlankRunEntry(entry.key.c_str());
    line += " (entry removed)";
  }
  m_log.Write(line, outcome.ended);
  if (!outcome.warning.empty()) m_log.Write("warning: " + what + ": " + outcome.warning);
  // Told after the run is saved and the agent closed; a command that fails
  // is logged and changes nothing about the run.
  if (outcome.notice.Any()) {
    if (const std::string why = harvion::RunOnChangeCommand(outcome.notice); !why.empty())
      m_log.Write("warning: " + what + ": " + why);
    harvion::SendDesktopNotice(outcome.notice);
  }
  if (outcome.result == RunOutcome::done || outcome.result == RunOutcome::cutShort) {
    // The time the run ended: a schedule counts its next run from there.
    SetScheduleEntry(entry.file.c_str(), entry.agentId.c_str(), entry.schedule.c_str(), outcome.ended);
  } else if (outcome.result != RunOutcome::stopped) {
    // Kept in the entry, so that the next hvscan --once knows it too.
    RecordFailedRun(entry.key.c_str(), outcome.ended);
  }
  const bool failed = outcome.result == RunOutcome::failed || outcome.result == RunOutcome::noAgent ||
                      outcome.result == RunOutcome::cutShort;
  if (failed) ++m_failures;
}

void PrintStatus(std::ostream& out, harvion::HeadlessUIClient& client) {
  bool enabled = false;
  const std::vector<std::string> keys = RunEntryKeys(enabled);
  if (!enabled) {
    out << "Unattended runs are off (harvion schedule on turns them on).\n";
    return;
  }
  out << "Unattended runs are on.\n";
  std::size_t shown = 0;
  for (const std::string& key : keys) {
    const RunEntry entry = LoadEntry(key);
    if (entry.agentId.empty() || entry.file.empty()) continue;
    ++shown;
    const long failed = LastFailedRun(key.c_str());
    const long next = NextRunOfEntry(key.c_str(), failed);
    out << ItemName(entry, client) << "\n  last run " << RunTime(entry.lastRun);
    if (failed > entry.lastRun) out << ", failed " << RunTime(failed);
    out << ", next run " << NextRunText(next) << '\n';
  }
  if (shown == 0) out << "No agent item has a schedule of its own.\n";
}

}  // namespace hvscan
