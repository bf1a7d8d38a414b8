// The dialogs the CSafClient statics show, as the drawing module installed
// them. Called on the thread of the front end that asks, like the statics.
#include <mutex>
#include <set>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/cache/cache.h"
#include "engine/settings/exception_entry.h"
#include "harvion/dialogs.h"
#include "harvion/saf_client.h"
#include "platform/framework/exceptions.h"

namespace {

struct DialogSlot {
  std::mutex mutex;
  EngineDialogs dialogs;
};

DialogSlot& Slot() {
  static DialogSlot slot;
  return slot;
}

EngineDialogs Installed() {
  const std::lock_guard lock(Slot().mutex);
  return Slot().dialogs;
}

int ShowSchedules(int selected) {
  const std::function<int(int)> dialog = Installed().schedules;
  if (!dialog) return -1;
  // Whatever the drawing module throws, nothing crosses the export.
  try {
    return dialog(selected);
  } catch (...) {
    return -1;
  }
}

CNamedArray& ListOf(CAgentAnchor& agent, bool locations) { return locations ? agent.m_locations : agent.m_fileTypes; }

StrategyList CopyOf(const CNamedArray& list, int selected) {
  StrategyList copy;
  for (int i = 0; i < list.GetSize(); ++i) {
    const auto* entry = static_cast<const CExceptionEntry*>(list.GetAt(i));
    copy.entries.push_back({entry->m_strName, entry->m_nKind, entry->m_strExclusions, entry->m_nPermissions});
  }
  copy.selected = selected;
  return copy;
}

// An answer the agent can take: the entries that cannot be removed stay in
// their places with their names and kinds (nodes name them by position),
// names are unique and not empty, kinds are strategies, the selection is an
// entry.
bool Acceptable(const CNamedArray& before, const StrategyList& after, bool locations) {
  const int kinds = locations ? 5 : 4;
  std::set<std::string> names;
  for (const StrategyEntry& entry : after.entries) {
    if (entry.name.empty() || !names.insert(entry.name).second || entry.kind < 0 || entry.kind >= kinds) return false;
  }
  for (int i = 0; i < before.GetSize(); ++i) {
    const auto* entry = static_cast<const CExceptionEntry*>(before.GetAt(i));
    if (entry->m_nPermissions & 1) continue;
    const std::size_t at = static_cast<std::size_t>(i);
    if (at >= after.entries.size() || after.entries[at].name != entry->m_strName ||
        after.entries[at].kind != entry->m_nKind || (after.entries[at].permissions & 1))
      return false;
  }
  return after.selected >= -1 && after.selected < static_cast<int>(after.entries.size());
}

// Runs a strategy dialog on a copy of the open agent's list, without the
// engine's lock, and gives the agent the edited list on OK.
int ShowStrategies(StrategyDialog EngineDialogs::*member, bool locations, int selected) {
  const StrategyDialog dialog = Installed().*member;
  if (!dialog) return -1;
  CAgentAnchor* agent = nullptr;
  StrategyList shown;
  {
    std::lock_guard guard(CCache::Lock());
    agent = CAgentManager::Instance().Agent();
    if (!agent) return -1;
    shown = CopyOf(ListOf(*agent, locations), selected);
  }
  std::optional<StrategyList> answer;
  try {
    answer = dialog(shown);
  } catch (...) {
    return -1;
  }
  if (!answer) return -1;
  try {
    {
      std::lock_guard guard(CCache::Lock());
      // The agent may have been closed while the dialog was open.
      if (CAgentManager::Instance().Agent() != agent) return -1;
      CNamedArray& list = ListOf(*agent, locations);
      if (!Acceptable(list, *answer, locations)) return -1;
      list.RemoveAllItems();
      for (const StrategyEntry& entry : answer->entries)
        list.Add(std::make_unique<CExceptionEntry>(entry.name, entry.kind, entry.exclusions, entry.permissions));
      agent->m_bModified = 1;
    }
    CAgentManager::Instance().Save();
  } catch (const CException&) {
    return -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return answer->selected;
}

}  // namespace

EngineDialogs SetEngineDialogs(EngineDialogs dialogs) {
  const std::lock_guard lock(Slot().mutex);
  std::swap(Slot().dialogs, dialogs);
  return dialogs;
}

bool HasEngineDialogs() {
  const EngineDialogs dialogs = Installed();
  return dialogs.settings || dialogs.fileTypes || dialogs.constraints || dialogs.schedules;
}

void CSafClient::Settings() {
  const std::function<void()> sheet = Installed().settings;
  if (!sheet) return;
  try {
    sheet();
  } catch (...) {
    // A sheet that failed has changed nothing it did not save.
  }
}

int CSafClient::FileTypes(int selected) { return ShowStrategies(&EngineDialogs::fileTypes, false, selected); }

int CSafClient::Constraints(int selected) { return ShowStrategies(&EngineDialogs::constraints, true, selected); }

int CSafClient::Schedules(int selected) { return ShowSchedules(selected); }
