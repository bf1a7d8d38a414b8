// The run entries: one key "Set<n>" below "Run" of the base key for each
// scheduled agent node, naming the node (its agent id and agent file), its
// schedule and its last run. These work on one look at the settings store so
// that a caller can find, create or blank an entry in a single locked change.
#pragma once

#include <cstdint>
#include <string>

namespace hv::reg {
class Tree;
}

namespace hv::schedule {

// Names of the values of an entry.
inline constexpr const char* kAgentIdValue = "Agent Id";
inline constexpr const char* kFileValue = "File";
inline constexpr const char* kScheduleValue = "Schedule";
inline constexpr const char* kInvalidValue = "Invalid";
inline constexpr const char* kLastRunValue = "Last Run";
// When the entry took its schedule: a node never run counts from there.
inline constexpr const char* kRecordedValue = "Recorded";

// The base key followed by "\Run"; false when a key name is missing.
bool RunKeyPath(std::string& out);

// The name ("Set<n>") of the entry of (agentId, file) below runKey, or empty.
// Blanked entries match nothing.
std::string FindRunEntry(const reg::Tree& tree, const std::string& runKey, const std::string& file,
                         const std::string& agentId);
// "Set<n>" with the lowest n that has no key yet; gaps are filled first.
std::string FreeRunEntryName(const reg::Tree& tree, const std::string& runKey);

// Finds or creates the entry and records a nonzero lastRun; a new entry is
// recorded at now. True when the entry was created; the entry's name goes
// to name.
bool StoreRunEntry(reg::Tree& tree, const std::string& runKey, const std::string& file, const std::string& agentId,
                   const std::string& schedule, std::uint32_t lastRun, std::int64_t now, std::string& name);

void BlankRunEntry(reg::Tree& tree, const std::string& entryKey);

// Records a node stored with a schedule of its own: finds or creates its
// entry and, for one found under another schedule (the user changed it),
// takes the new one, so the scheduler program keeps finding the node. True
// when the entry was created.
bool RecordStoredNode(const std::string& file, const std::string& agentId, const std::string& schedule);

// When the entry runs next, from the later of its stored last run and
// lastRun; a never-run entry counts from when it was recorded (one recorded
// by nobody from 45 seconds before now). unusable: it names no schedule, or
// one that is gone. never: its schedule has no next run (an unknown kind).
struct NextRunOf {
  enum State { known, unusable, unreachable, never } state = unreachable;
  std::int64_t time = 0;
};
NextRunOf EntryNextRun(const reg::Tree& tree, const std::string& entryKey, long lastRun, std::int64_t now);

// Whether the entry is due at now, blanking it first when its schedule is
// missing (then true). A never-run entry recorded by nobody is recorded at
// the time it is counted from, so later looks count from the same time.
// False when the schedule list's key cannot be named.
bool EntryDue(reg::Tree& tree, const std::string& entryKey, long lastRun, std::int64_t now);

// The agent file was deleted: its entries name nothing any more.
void ForgetAgentEntries(const std::string& file);
// The agent was renamed from file (agent oldName) to newFile (newName): its
// entries follow, keeping their last runs.
void MoveAgentEntries(const std::string& file, const std::string& oldName, const std::string& newFile,
                      const std::string& newName);

}  // namespace hv::schedule
