// Run entries: the scheduled nodes the scheduler program visits, whether each
// is due, and starting that program.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "engine/agent/agent_manager.h"
#include "engine/agent/anchor.h"
#include "engine/agent/base_node.h"
#include "engine/schedule/run_entries.h"
#include "engine/schedule/schedule.h"
#include "engine/schedule/schedule_info.h"
#include "harvion/schedule.h"
#include "platform/registry/registry.h"
#include "support/scoped_time_zone.h"
#include "support/test_home.h"
#include "support/text_files.h"

namespace {

const std::string kBase = "Software\\Tessarine\\Harvion Plugin\\3.0";
const std::string kRun = kBase + "\\Run";
const std::string kSchedules = kBase + "\\Schedule";

std::string Str(const std::string& key, const char* name) {
  std::string value;
  hv::reg::ReadString(key, name, value);
  return value;
}

std::string Found(const std::string& file, const std::string& agentId) {
  std::string name;
  hv::reg::View([&](const hv::reg::Tree& tree) { name = hv::schedule::FindRunEntry(tree, kRun, file, agentId); });
  return name;
}

std::int64_t UtcAt(int hour, int minute, int second) {
  return 1796774400 + hour * 3600 + minute * 60 + second;  // 2026-12-09 00:00 UTC
}

class RunEntries : public TestHome {};

TEST_F(RunEntries, are_found_by_agent_id_and_file_and_new_ones_fill_the_first_gap) {
  struct Case {
    const char* file;
    const char* agentId;
    const char* schedule;
    long lastRun;
    int created;
    const char* entry;
  };
  const Case cases[] = {
      {"/a/news.hvx", "News\aDaily", "Hourly", 0, 1, "Set0"},
      {"/a/news.hvx", "News\aDaily", "Hourly", 0, 0, "Set0"},
      {"/b/news.hvx", "News\aDaily", "Hourly", 0, 1, "Set1"},    // same node, other file
      {"/a/news.hvx", "News\adaily", "Weekly", 0, 1, "Set2"},    // ids differ in case
      {"/a/news.hvx", "News\aDaily", "Monthly", 1000, 0, "Set0"},  // keeps "Hourly", records the run
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.agentId);
    EXPECT_EQ(SetScheduleEntry(c.file, c.agentId, c.schedule, c.lastRun), c.created);
    EXPECT_EQ(Found(c.file, c.agentId), c.entry);
  }
  const std::string set0 = kRun + "\\Set0";
  EXPECT_EQ(Str(set0, "Schedule"), "Hourly");
  std::uint32_t value = 7;
  EXPECT_TRUE(hv::reg::ReadDWord(set0, "Last Run", value));
  EXPECT_EQ(value, 1000u);
  EXPECT_TRUE(hv::reg::ReadDWord(kRun + "\\Set1", "Invalid", value));
  EXPECT_EQ(value, 0u);
  EXPECT_FALSE(hv::reg::ReadDWord(kRun + "\\Set1", "Last Run", value));

  ASSERT_TRUE(hv::reg::DeleteKey(kRun + "\\Set1"));
  EXPECT_EQ(SetScheduleEntry("/c/x.hvx", "X", "Hourly", 0), 1);
  EXPECT_EQ(Str(kRun + "\\Set1", "File"), "/c/x.hvx");

  // A blanked entry names nothing: storing its node again makes a new one.
  BlankRunEntry((kRun + "\\Set0").c_str());
  EXPECT_EQ(Str(set0, "Agent Id"), "");
  EXPECT_EQ(Str(set0, "File"), "");
  EXPECT_EQ(Str(set0, "Schedule"), "Hourly");
  EXPECT_EQ(SetScheduleEntry("/a/news.hvx", "News\aDaily", "Hourly", 0), 1);
  EXPECT_EQ(Str(kRun + "\\Set3", "Agent Id"), "News\aDaily");
}

TEST_F(RunEntries, run_key_name_is_given_only_while_scheduling_is_on) {
  struct Case {
    int enabled;  // -1: value absent
    int result;
    std::string name;
  };
  const Case cases[] = {{-1, 0, ""}, {0, 0, ""}, {1, 1, kRun}, {2, 1, kRun}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.enabled);
    if (c.enabled < 0)
      hv::reg::DeleteValue(kSchedules, "Enable Schedule");
    else
      hv::reg::WriteDWord(kSchedules, "Enable Schedule", static_cast<std::uint32_t>(c.enabled));
    char name[300] = "stale";
    EXPECT_EQ(GetScheduleRunKeyName(name), c.result);
    EXPECT_EQ(name, c.name);
  }
}

TEST_F(RunEntries, agent_info_reads_the_three_strings_and_empty_for_what_is_missing) {
  ASSERT_EQ(SetScheduleEntry("/a/news.hvx", "News\aDaily", "Weekly", 0), 1);
  char id[64] = "x", file[64] = "x", schedule[64] = "x";
  LoadAgentInfo((kRun + "\\Set0").c_str(), id, file, schedule);
  EXPECT_STREQ(id, "News\aDaily");
  EXPECT_STREQ(file, "/a/news.hvx");
  EXPECT_STREQ(schedule, "Weekly");
  LoadAgentInfo((kRun + "\\Set9").c_str(), id, file, schedule);
  EXPECT_STREQ(id, "");
  EXPECT_STREQ(file, "");
  EXPECT_STREQ(schedule, "");
}

TEST_F(RunEntries, a_node_never_run_is_due_from_its_first_time_after_it_was_recorded) {
  ScopedTimeZone zone("UTC");
  // Every day: hourly at minute 15, every 25 minutes from 10:00 to 16:00,
  // daily at 08:15, monthly on the 10th at 00:00; and a damaged kind.
  hv::reg::WriteBinary(kSchedules + "\\H", "Settings", {0, 15, 127, 10, 0, 0, 0, 0, 0, 0});
  hv::reg::WriteBinary(kSchedules + "\\P", "Settings", {1, 0, 127, 10, 25, 0, 600 & 0xFF, 600 >> 8, 960 & 0xFF, 960 >> 8});
  hv::reg::WriteBinary(kSchedules + "\\D", "Settings", {2, 0, 127, 10, 25, 0, 495 & 0xFF, 495 >> 8, 0, 0});
  hv::reg::WriteBinary(kSchedules + "\\M", "Settings", {3, 0, 127, 10, 25, 0, 0, 0, 0, 0});
  hv::reg::WriteBinary(kSchedules + "\\X", "Settings", {9, 15, 127, 10, 25, 0, 0, 0, 0, 0});
  struct Case {
    const char* schedule;
    std::int64_t recorded;  // 0: none
    std::int64_t storedRun;
    long lastRun;
    std::int64_t now;
    bool due;
  };
  const Case cases[] = {
      {"H", UtcAt(10, 3, 0), 0, 0, UtcAt(10, 14, 59), false}, {"H", UtcAt(10, 3, 0), 0, 0, UtcAt(10, 15, 0), true},
      {"H", UtcAt(10, 3, 0), 0, 0, UtcAt(10, 40, 0), true},   {"P", UtcAt(10, 3, 0), 0, 0, UtcAt(10, 27, 59), false},
      {"P", UtcAt(10, 3, 0), 0, 0, UtcAt(11, 0, 0), true},    {"D", UtcAt(7, 0, 0), 0, 0, UtcAt(8, 14, 59), false},
      {"D", UtcAt(7, 0, 0), 0, 0, UtcAt(9, 0, 0), true},      {"M", UtcAt(10, 3, 0), 0, 0, UtcAt(23, 59, 59), false},
      {"M", UtcAt(10, 3, 0), 0, 0, UtcAt(24, 0, 0), true},    {"X", UtcAt(10, 3, 0), 0, 0, UtcAt(12, 0, 0), false},
      {"X", 0, UtcAt(8, 0, 0), 0, UtcAt(12, 0, 0), false},
      // A run on record counts from the later of the stored and the caller's.
      {"H", 0, UtcAt(10, 15, 40), 0, UtcAt(11, 15, 40), true},
      {"H", 0, UtcAt(10, 15, 40), 0, UtcAt(11, 15, 39), false},
      {"H", 0, UtcAt(10, 15, 40), UtcAt(11, 15, 0), UtcAt(11, 15, 50), false},
      {"H", 0, UtcAt(11, 15, 0), UtcAt(10, 15, 40), UtcAt(11, 15, 50), false},
  };
  const std::string key = kRun + "\\Set0";
  const auto due = [&](long lastRun, std::int64_t now) {
    bool result = false;
    EXPECT_TRUE(hv::reg::Edit([&](hv::reg::Tree& tree) { result = hv::schedule::EntryDue(tree, key, lastRun, now); }));
    return result;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.schedule) + " " + std::to_string(c.now % 86400));
    hv::reg::DeleteKey(key);
    hv::reg::WriteString(key, "Agent Id", "A");
    hv::reg::WriteString(key, "File", "/a.hvx");
    hv::reg::WriteString(key, "Schedule", c.schedule);
    if (c.recorded) hv::reg::WriteDWord(key, "Recorded", static_cast<std::uint32_t>(c.recorded));
    if (c.storedRun) hv::reg::WriteDWord(key, "Last Run", static_cast<std::uint32_t>(c.storedRun));
    EXPECT_EQ(due(c.lastRun, c.now), c.due);
    EXPECT_EQ(Str(key, "Agent Id"), "A");
  }
  // An entry nobody recorded counts from 45 seconds before the first look,
  // and later looks count from there too.
  hv::reg::DeleteKey(key);
  hv::reg::WriteString(key, "Agent Id", "A");
  hv::reg::WriteString(key, "Schedule", "P");
  EXPECT_FALSE(due(0, UtcAt(10, 20, 0)));
  EXPECT_FALSE(due(0, UtcAt(10, 44, 14)));
  EXPECT_TRUE(due(0, UtcAt(10, 44, 15)));
}

TEST_F(RunEntries, an_entry_without_a_usable_schedule_is_blanked_and_reported_due) {
  const std::string key = kRun + "\\Set0";
  const long now = static_cast<long>(std::time(nullptr));
  hv::reg::WriteBinary(kSchedules + "\\Long", "Settings", std::vector<std::uint8_t>(11, 0));
  struct Case {
    const char* schedule;
    long lastRun;
    int result;
    bool blanked;
  };
  const Case cases[] = {
      {"Hourly", now, 0, false},  {"Hourly", now - 7200, 1, false}, {"", 0, 1, true},
      {"Gone", 0, 1, true},      {"Long", 0, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.schedule);
    hv::reg::DeleteKey(key);
    ASSERT_EQ(SetScheduleEntry("/a.hvx", "A", c.schedule, 0), 1);
    EXPECT_EQ(NeedToRun(key.c_str(), c.lastRun), c.result);
    EXPECT_EQ(Str(key, "File").empty(), c.blanked);
    EXPECT_EQ(Str(key, "Agent Id").empty(), c.blanked);
  }
}

TEST_F(RunEntries, two_processes_storing_the_same_nodes_at_once_make_one_entry_each) {
  constexpr int kNodes = 25;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 2; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      char byte;
      (void)!read(go[0], &byte, 1);  // both start when the pipe closes
      int created = 0;
      for (int n = 0; n < kNodes; ++n)
        created += SetScheduleEntry("/a/news.hvx", ("News\a" + std::to_string(n)).c_str(), "Hourly", 0);
      _exit(created);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(go[1]);
  int created = 0;
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    created += WEXITSTATUS(status);
  }
  EXPECT_EQ(created, kNodes);
  EXPECT_EQ(hv::reg::SubKeys(kRun).size(), static_cast<std::size_t>(kNodes));
}

TEST_F(RunEntries, scheduler_starts_from_the_program_folder_only_when_hvscan_is_there) {
  EXPECT_EQ(StartScheduler(), 0);  // no folder recorded
  const std::string folder = Path("bin");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  ASSERT_TRUE(hv::reg::WriteString(kBase, "", folder));
  EXPECT_EQ(StartScheduler(), 0);  // no program

  // The program reports its arguments and the home it inherited.
  const std::string fifo = Path("started");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(
      hvtest::WriteText(folder + "/hvscan", "#!/bin/sh\necho \"$# $HARVION_HOME\" > \"$HARVION_HOME/started\"\n"));
  ASSERT_EQ(chmod((folder + "/hvscan").c_str(), 0755), 0);
  const int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(in, 0);
  EXPECT_EQ(StartScheduler(), 1);
  std::string said;
  pollfd p{in, POLLIN, 0};
  while (poll(&p, 1, 10000) == 1) {
    char buffer[256];
    const ssize_t got = read(in, buffer, sizeof buffer);
    if (got <= 0) break;
    said.append(buffer, static_cast<std::size_t>(got));
  }
  close(in);
  EXPECT_EQ(said, "0 " + m_dir + "\n");
}

}  // namespace

namespace {

TEST_F(RunEntries, entries_follow_a_renamed_agent_and_name_nothing_once_it_is_deleted) {
  CSafNode* agent = CSafClient::CreateAgent("Before");
  ASSERT_NE(agent, nullptr);
  CSafNode* node = CSafClient::CreateHTMLNode(agent, "Daily", "http://host/", 0);
  ASSERT_NE(node, nullptr);
  ASSERT_TRUE(node->SetValue(itemSchedule, CSafClient::PackScheduleInfo(0, 0)));
  CSafClient::SaveAgentFile();
  const std::string id = static_cast<CBaseNode*>(node)->m_pAnchor->GetPath();
  ASSERT_EQ(SetScheduleEntry(CAgentManager::Instance().AgentFilePath("Before").c_str(), id.c_str(), "", 1000), 0);

  ASSERT_EQ(agent->SetData(itemName, "After", 0), 1);
  CSafClient::SaveAgentFile();
  const std::string file = CAgentManager::Instance().AgentFilePath("After");
  EXPECT_EQ(Found(file, static_cast<CBaseNode*>(node)->m_pAnchor->GetPath()), "Set0");
  EXPECT_EQ(hv::reg::SubKeys(kRun).size(), 1u) << "the entry moved: no second one";
  std::string agentId, path, schedule;
  EXPECT_EQ(LoadAgentInfo((kRun + "\\Set0").c_str(), agentId, path, schedule), 1000);

  CSafClient::DeleteAgentFile();
  LoadAgentInfo((kRun + "\\Set0").c_str(), agentId, path, schedule);
  EXPECT_EQ(agentId + path, "");
}

TEST_F(RunEntries, saving_a_node_with_its_own_schedule_records_it_once_and_starts_the_scheduler_once) {
  CSchedule& schedules = CSchedule::Instance();
  const auto startScheduler = schedules.m_startScheduler;
  int started = 0;
  schedules.m_startScheduler = [&] { ++started; };
  schedules.m_bEnabled = 1;
  CSafNode* agent = CSafClient::CreateAgent("Sched");
  ASSERT_NE(agent, nullptr);
  CSafNode* node = CSafClient::CreateHTMLNode(agent, "Daily", "http://host/", 0);
  ASSERT_NE(node, nullptr);
  ASSERT_TRUE(node->SetValue(itemSchedule, CSafClient::PackScheduleInfo(0, 0)));
  CSafClient::SaveAgentFile();
  CSafClient::SaveAgentFile();  // stored again: the same entry
  const std::string file = CAgentManager::Instance().AgentFilePath("Sched");
  const std::string agentId = static_cast<CBaseNode*>(node)->m_pAnchor->GetPath();
  const std::string entry = Found(file, agentId);
  ASSERT_FALSE(entry.empty());
  EXPECT_EQ(Str(kRun + "\\" + entry, "Schedule"), static_cast<CBaseNode*>(node)->m_pAnchor->m_pSchedule->m_strName);
  EXPECT_TRUE(Found(file, agentId + "x").empty());
  EXPECT_EQ(Found(file, agentId), "Set0") << "one entry, the first";
  // Another schedule for the node: the entry follows it, so the scheduler
  // program still finds the node under the entry's schedule.
  ASSERT_TRUE(hv::reg::WriteDWord(kRun + "\\Set0", "Recorded", 1));
  ASSERT_TRUE(node->SetValue(itemSchedule, CSafClient::PackScheduleInfo(2, 0)));
  CSafClient::SaveAgentFile();
  EXPECT_EQ(Found(file, agentId), "Set0");
  std::uint32_t recorded = 0;
  EXPECT_TRUE(hv::reg::ReadDWord(kRun + "\\Set0", "Recorded", recorded));
  EXPECT_GT(recorded, 1u) << "not run yet: it waits for the new schedule's first time";
  EXPECT_EQ(Str(kRun + "\\Set0", "Schedule"), static_cast<CBaseNode*>(node)->m_pAnchor->m_pSchedule->m_strName);
  EXPECT_NE(Str(kRun + "\\Set0", "Schedule"), CSchedule::Instance().EntryAt(0)->m_strName);
  EXPECT_EQ(started, 1);
  schedules.m_startScheduler = startScheduler;
  schedules.m_bEnabled = 0;
}

}  // namespace
