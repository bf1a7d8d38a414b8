#include "engine/schedule/run_entries.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "engine/schedule/schedule_entry.h"
#include "engine/settings/settings_store.h"
#include "harvion/schedule.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"

namespace hv::schedule {

namespace {

// Nothing is shown to the user; the texts help whoever runs with HARVION_DEBUG set.
void DebugText(const char* text) {
  if (std::getenv("HARVION_DEBUG")) std::fputs(text, stderr);
}

std::string Read(const reg::Tree& tree, const std::string& key, const char* name) {
  std::string value;
  if (!tree.ReadString(key, name, value)) value.clear();
  return value;
}

void CopyOut(const std::string& value, char* buffer) {
  if (buffer) std::memcpy(buffer, value.c_str(), value.size() + 1);
}

std::uint32_t LastRunOf(const reg::Tree& tree, const std::string& key) {
  std::uint32_t value = 0;
  return tree.ReadDWord(key, kLastRunValue, value) ? value : 0;
}

// When a never-run entry counts from: when it took its schedule; for one
// recorded by nobody (made before entries kept the time), 45 seconds before
// now, about one wake-up of the scheduler.
std::int64_t RecordedAt(const reg::Tree& tree, const std::string& key, std::int64_t now) {
  std::uint32_t value = 0;
  return tree.ReadDWord(key, kRecordedValue, value) && value != 0 ? value : now - 45;
}

}  // namespace

bool RunKeyPath(std::string& out) { return settings::KeyPath(res::IDS_REG_RUN, out); }

std::string FindRunEntry(const reg::Tree& tree, const std::string& runKey, const std::string& file,
                         const std::string& agentId) {
  for (const std::string& name : tree.SubKeys(runKey)) {
    const std::string key = runKey + '\\' + name;
    const std::string id = Read(tree, key, kAgentIdValue);
    if (id.empty() || id != agentId) continue;
    const std::string path = Read(tree, key, kFileValue);
    if (!path.empty() && path == file) return name;
  }
  return {};
}

std::string FreeRunEntryName(const reg::Tree& tree, const std::string& runKey) {
  for (int n = 0;; ++n) {
    std::string name = "Set" + std::to_string(n);
    if (!tree.KeyExists(runKey + '\\' + name)) return name;
  }
}

bool StoreRunEntry(reg::Tree& tree, const std::string& runKey, const std::string& file, const std::string& agentId,
                   const std::string& schedule, std::uint32_t lastRun, std::int64_t now, std::string& name) {
  name = FindRunEntry(tree, runKey, file, agentId);
  const bool created = name.empty();
  if (created) name = FreeRunEntryName(tree, runKey);
  const std::string key = runKey + '\\' + name;
  tree.CreateKey(key);
  if (created) {
    tree.WriteString(key, kAgentIdValue, agentId);
    tree.WriteString(key, kFileValue, file);
    tree.WriteString(key, kScheduleValue, schedule);
    tree.WriteDWord(key, kInvalidValue, 0);
    tree.WriteDWord(key, kRecordedValue, static_cast<std::uint32_t>(now));
  }
  if (lastRun != 0) tree.WriteDWord(key, kLastRunValue, lastRun);
  return created;
}

void BlankRunEntry(reg::Tree& tree, const std::string& entryKey) {
  tree.CreateKey(entryKey);
  tree.WriteString(entryKey, kAgentIdValue, std::string());
  tree.WriteString(entryKey, kFileValue, std::string());
}

NextRunOf EntryNextRun(const reg::Tree& tree, const std::string& entryKey, long lastRun, std::int64_t now) {
  const std::string name = Read(tree, entryKey, kScheduleValue);
  if (name.empty()) return {NextRunOf::unusable, 0};
  std::string scheduleKey;
  if (!settings::KeyPath(res::IDS_REG_SCHEDULE, scheduleKey)) return {NextRunOf::unreachable, 0};
  std::vector<std::uint8_t> bytes;
  ScheduleSettings packed{};
  if (!tree.ReadBinary(scheduleKey + '\\' + name, settings::ValueName(res::IDS_REG_SETTINGS), bytes) ||
      bytes.size() > packed.size())
    return {NextRunOf::unusable, 0};
  std::copy(bytes.begin(), bytes.end(), packed.begin());
  const CScheduleEntry entry(name, packed);

  // The stored value is a signed 32-bit time like the caller's.
  const std::int64_t base = std::max<std::int64_t>(static_cast<std::int32_t>(LastRunOf(tree, entryKey)), lastRun);
  // A node never run is due at its first time after it took its schedule,
  // and stays due until it runs: a scheduler that looks now and then (a
  // timer, a machine asleep) still finds it.
  const std::int64_t next = entry.NextRun(base != 0 ? base : RecordedAt(tree, entryKey, now));
  if (next == 0) return {NextRunOf::never, 0};
  return {NextRunOf::known, next};
}

bool EntryDue(reg::Tree& tree, const std::string& entryKey, long lastRun, std::int64_t now) {
  const NextRunOf next = EntryNextRun(tree, entryKey, lastRun, now);
  if (next.state == NextRunOf::unusable) {
    BlankRunEntry(tree, entryKey);
    return true;
  }
  std::uint32_t recorded = 0;
  if (next.state == NextRunOf::known && !tree.ReadDWord(entryKey, kRecordedValue, recorded))
    tree.WriteDWord(entryKey, kRecordedValue, static_cast<std::uint32_t>(RecordedAt(tree, entryKey, now)));
  return next.state == NextRunOf::known && now >= next.time;
}

void ForgetAgentEntries(const std::string& file) {
  std::string runKey;
  if (file.empty() || !RunKeyPath(runKey)) return;
  try {
    reg::Edit([&](reg::Tree& tree) {
      for (const std::string& name : tree.SubKeys(runKey)) {
        const std::string key = runKey + '\\' + name;
        if (Read(tree, key, kFileValue) == file) BlankRunEntry(tree, key);
      }
    });
  } catch (...) {
    // The store is left as it was; nothing is reported.
  }
}

void MoveAgentEntries(const std::string& file, const std::string& oldName, const std::string& newFile,
                      const std::string& newName) {
  std::string runKey;
  if (file.empty() || !RunKeyPath(runKey)) return;
  try {
    reg::Edit([&](reg::Tree& tree) {
      for (const std::string& name : tree.SubKeys(runKey)) {
        const std::string key = runKey + '\\' + name;
        if (Read(tree, key, kFileValue) != file) continue;
        // The agent's own name heads the id of every node in it.
        const std::string id = Read(tree, key, kAgentIdValue);
        const bool inAgent = id.starts_with(oldName) && (id.size() == oldName.size() || id[oldName.size()] == '\a');
        const std::string newId = inAgent ? newName + id.substr(oldName.size()) : std::string();
        // An entry of the new name left from before would be a second one.
        if (newId.empty() || !FindRunEntry(tree, runKey, newFile, newId).empty()) {
          BlankRunEntry(tree, key);
          continue;
        }
        tree.WriteString(key, kAgentIdValue, newId);
        tree.WriteString(key, kFileValue, newFile);
      }
    });
  } catch (...) {
    // The store is left as it was; nothing is reported.
  }
}

bool RecordStoredNode(const std::string& file, const std::string& agentId, const std::string& schedule) {
  std::string runKey;
  if (!RunKeyPath(runKey)) return false;
  bool created = false;
  reg::Edit([&](reg::Tree& tree) {
    std::string name;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    created = StoreRunEntry(tree, runKey, file, agentId, schedule, 0, now, name);
    const std::string key = runKey + '\\' + name;
    if (!created && Read(tree, key, kScheduleValue) != schedule) {
      tree.WriteString(key, kScheduleValue, schedule);
      // A node not run yet waits for the new schedule's first time.
      tree.WriteDWord(key, kRecordedValue, static_cast<std::uint32_t>(now));
    }
  });
  return created;
}

}  // namespace hv::schedule

namespace sched = hv::schedule;

int SetScheduleEntry(const char* file, const char* agentId, const char* schedule, long lastRun) {
  try {
    std::string runKey;
    if (!file || !agentId || !sched::RunKeyPath(runKey)) return 0;
    bool created = false;
    std::string name;
    // Finding and creating in one change of the store: two processes storing
    // the same node cannot both miss the entry and make two.
    const bool written = hv::reg::Edit([&](hv::reg::Tree& tree) {
      created = sched::StoreRunEntry(tree, runKey, file, agentId, schedule ? schedule : "",
                                     static_cast<std::uint32_t>(lastRun), std::time(nullptr), name);
    });
    return written && created ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int GetScheduleRunKeyName(char* keyName) {
  if (!keyName) return 0;
  keyName[0] = '\0';
  try {
    std::string scheduleKey, runKey;
    if (!hv::settings::KeyPath(hv::res::IDS_REG_SCHEDULE, scheduleKey) || !sched::RunKeyPath(runKey)) return 0;
    std::uint32_t enabled = 0;
    if (!hv::settings::ReadDWord(scheduleKey, hv::res::IDS_REG_ENABLE_SCHEDULE, enabled) || enabled == 0) return 0;
    sched::CopyOut(runKey, keyName);
    return 1;
  } catch (...) {
    keyName[0] = '\0';
    return 0;
  }
}

long LoadAgentInfo(const char* entryKey, std::string& agentId, std::string& file, std::string& schedule) {
  agentId.clear(), file.clear(), schedule.clear();
  std::uint32_t lastRun = 0;
  try {
    if (entryKey) {
      // One look at the store, so the values belong to the same entry.
      hv::reg::View([&](const hv::reg::Tree& tree) {
        agentId = sched::Read(tree, entryKey, sched::kAgentIdValue);
        file = sched::Read(tree, entryKey, sched::kFileValue);
        schedule = sched::Read(tree, entryKey, sched::kScheduleValue);
        if (!tree.ReadDWord(entryKey, sched::kLastRunValue, lastRun)) lastRun = 0;
      });
    }
  } catch (...) {
    agentId.clear(), file.clear(), schedule.clear();
    lastRun = 0;
  }
  return static_cast<std::int32_t>(lastRun);
}

void LoadAgentInfo(const char* entryKey, char* agentId, char* file, char* schedule) {
  std::string id, path, name;
  LoadAgentInfo(entryKey, id, path, name);
  sched::CopyOut(id, agentId);
  sched::CopyOut(path, file);
  sched::CopyOut(name, schedule);
}

int NeedToRun(const char* entryKey, long lastRun) {
  try {
    std::string base;
    if (!entryKey || !*entryKey || !hv::settings::BaseKeyPath(base)) return 0;
    bool due = false;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    // Blanking depends on what was read: one locked change.
    if (!hv::reg::Edit([&](hv::reg::Tree& tree) { due = sched::EntryDue(tree, entryKey, lastRun, now); })) return 0;
    return due ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

long NextRunOfEntry(const char* entryKey, long lastRun) {
  try {
    sched::NextRunOf next;
    if (!entryKey || !*entryKey) return 0;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    hv::reg::View([&](const hv::reg::Tree& tree) { next = sched::EntryNextRun(tree, entryKey, lastRun, now); });
    if (next.state == sched::NextRunOf::never) return -1;
    return next.state == sched::NextRunOf::known ? static_cast<long>(next.time) : 0;
  } catch (...) {
    return 0;
  }
}

void RecordFailedRun(const char* entryKey, long when) {
  try {
    if (!entryKey || !*entryKey) return;
    hv::reg::Edit([&](hv::reg::Tree& tree) {
      // A blanked entry stays blank, and a missing one is not made.
      if (sched::Read(tree, entryKey, sched::kAgentIdValue).empty()) return;
      tree.WriteDWord(entryKey, sched::kInvalidValue, static_cast<std::uint32_t>(when));
    });
  } catch (...) {
    // Nothing is reported: the entry is then tried at the next look.
  }
}

long LastFailedRun(const char* entryKey) {
  std::uint32_t when = 0;
  try {
    if (entryKey && *entryKey && !hv::reg::ReadDWord(entryKey, sched::kInvalidValue, when)) when = 0;
  } catch (...) {
    when = 0;
  }
  return static_cast<std::int32_t>(when);
}

void BlankRunEntry(const char* entryKey) {
  try {
    if (entryKey && *entryKey)
      hv::reg::Edit([&](hv::reg::Tree& tree) { sched::BlankRunEntry(tree, entryKey); });
  } catch (...) {
    // Nothing is reported.
  }
}

int StartScheduler() {
  std::string base, folder;
  if (!hv::settings::BaseKeyPath(base) || !hv::reg::ReadString(base, std::string(), folder) || folder.empty()) {
    sched::DebugText("error opening registry\n");
    return 0;
  }
  const std::string program = folder + "/hvscan";
  if (access(program.c_str(), X_OK) != 0) {
    sched::DebugText("HvDll: hvscan creation failed\n");
    return 0;
  }
  // The grandchild reports a failed exec through this pipe; a successful exec
  // closes it empty.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return 0;
  char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
  const pid_t child = fork();
  if (child < 0) {
    close(report[0]), close(report[1]);
    sched::DebugText("HvDll: hvscan creation failed\n");
    return 0;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here: the caller may have threads.
    // Forking twice leaves the program to init, so nobody has to reap it,
    // and its own session keeps it out of the caller's terminal signals.
    close(report[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO), dup2(null, STDOUT_FILENO), dup2(null, STDERR_FILENO);
      if (null > STDERR_FILENO) close(null);
    }
    // The caller's descriptors (sockets, the store's lock) are not the program's.
    close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(argv[0], argv);
    const int error = errno;
    (void)!write(report[1], &error, sizeof error);
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got > 0) {
    sched::DebugText("HvDll: hvscan creation failed\n");
    return 0;
  }
  return 1;
}
