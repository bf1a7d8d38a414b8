// The scheduler program run as the user's system would run it: against a
// local nginx, with its run entries, its log and the agent's lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <regex>
#include <fstream>
#include <memory>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "harvion/settings.h"
#include "engine/agent/anchor.h"
#include "engine/agent/base_node.h"
#include "engine/schedule/schedule.h"
#include "harvion/schedule.h"
#include "support/child_process.h"
#include "support/nginx_server.h"
#include "support/site_builder.h"
#include "support/test_home.h"
#include "support/text_files.h"
#include "tools/hvscan/scan_log.h"

namespace {

using namespace std::chrono_literals;

const std::string kRunKey = "Software\\Tessarine\\Harvion Plugin\\3.0\\Run";

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class HvScan : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    if (hvtest::NginxServer::Program().empty()) GTEST_SKIP() << "nginx is not installed (scripts/setup.sh installs it)";
    m_nginx = std::make_unique<hvtest::NginxServer>();
    const hvtest::SiteBuilder site(m_nginx->Path("site"));
    ASSERT_TRUE(site.WritePage("index.html", hvtest::SiteBuilder::Page("Club", {"walks.html"})));
    ASSERT_TRUE(site.WritePage("walks.html", hvtest::SiteBuilder::Page("Walks")));
    hvtest::NginxServer::Options options;
    options.root = site.Root();
    ASSERT_TRUE(m_nginx->Start(options)) << m_nginx->Messages();
    MakeScheduledAgent();
  }

  void TearDown() override {
    m_nginx.reset();
    TestHome::TearDown();
  }

  // An agent whose one location runs hourly, last run two hours ago, so it
  // is due; closed again, and unattended runs on.
  void MakeScheduledAgent() {
    CSafNode* agent = CSafClient::CreateAgent("Club");
    ASSERT_NE(agent, nullptr);
    CSafNode* node = CSafClient::CreateHTMLNode(agent, "Club", (m_nginx->BaseUrl() + "index.html").c_str(), 0);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(node->SetValue(itemSchedule, CSafClient::PackScheduleInfo(0, 0)));
    m_agentId = static_cast<CBaseNode*>(node)->m_pAnchor->GetPath();
    m_file = CAgentManager::Instance().AgentFilePath("Club");
    CSafClient::DeleteAgent();  // saves it, and lets go of its lock
    CSchedule::Instance().SetEnabled(true);
    m_lastRun = std::time(nullptr) - 7200;
    SetScheduleEntry(m_file.c_str(), m_agentId.c_str(), "Hourly", m_lastRun);
    ASSERT_EQ(Entry(), kRunKey + "\\Set0");
  }

  std::string Entry() const {
    char runKey[1024];
    if (!GetScheduleRunKeyName(runKey)) return {};
    return std::string(runKey) + "\\Set0";
  }
  long LastRun() const {
    std::string id, file, schedule;
    return LoadAgentInfo((kRunKey + "\\Set0").c_str(), id, file, schedule);
  }

  static hvtest::ProgramResult Scan(const std::string& option) {
    std::vector<std::string> argv{HV_HVSCAN};
    if (!option.empty()) argv.push_back(option);
    return hvtest::RunProgram(argv, 60s);
  }
  std::string Log() const {
    return hvtest::ReadText(Path("hvscan.log"));
  }

  std::unique_ptr<hvtest::NginxServer> m_nginx;
  std::string m_agentId;
  std::string m_file;
  long m_lastRun = 0;
};

TEST_F(HvScan, once_runs_a_due_item_records_its_run_and_does_not_run_it_again_at_once) {
  const long before = std::time(nullptr);
  const hvtest::ProgramResult first = Scan("--once");
  ASSERT_EQ(first.status, 0) << first.output;
  const std::string log = Log();
  EXPECT_EQ(Count(log, "done: agent"), 1u) << log;
  // Named as harvion tree shows it and harvion run takes it.
  const std::string item = "agent \"Club\", item \"Club\"";
  EXPECT_NE(log.find(item + ", schedule \"Hourly\": 2 new, 0 modified, 0 gone, 0 failed"), std::string::npos)
      << log;
  EXPECT_GE(LastRun(), before);

  // The stored copy is there for the next open of the agent.
  ASSERT_EQ(CSafClient::LoadAgentFile("Club", 1), 1);
  CAgentManager::Instance().RefreshStatistics();
  const std::string folder = CAgentManager::Instance().AgentFolderPath("Club");
  CSafClient::DeleteAgent();
  EXPECT_TRUE(std::filesystem::exists(folder));

  const hvtest::ProgramResult second = Scan("--once");
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_EQ(Log(), log) << "not due again within the hour";

  const hvtest::ProgramResult status = Scan("--status");
  EXPECT_EQ(status.status, 0);
  // The item by its name in the tree, as harvion run takes it.
  EXPECT_NE(status.output.find("agent \"Club\", item \"Club\", schedule \"Hourly\"\n"), std::string::npos)
      << status.output;
  EXPECT_EQ(Count(status.output, "last run "), 1u) << status.output;
  EXPECT_EQ(status.output.find("last run never"), std::string::npos) << status.output;
}

TEST_F(HvScan, pages_a_limit_left_unfetched_are_logged_with_the_run) {
  const hvtest::SiteBuilder site(m_nginx->Path("site"));
  ASSERT_TRUE(site.WritePage("walks.html", hvtest::SiteBuilder::Page("Walks", {}, {}, std::string(8 << 10, 'w'))));
  ASSERT_TRUE(site.WritePage("more.html", hvtest::SiteBuilder::Page("More")));
  ASSERT_TRUE(site.WritePage("index.html", hvtest::SiteBuilder::Page("Club", {"walks.html", "more.html"})));
  // One transfer at a time, so the limit is met before the last link is asked for.
  ASSERT_EQ(CEngineSettings::Change("threads", "1"), "");
  ASSERT_EQ(CSafClient::LoadAgentFile("Club", 1), 1);
  CAgentManager::Instance().Agent()->m_nSizeLimit = 4;  // kilobytes
  CAgentManager::Instance().Agent()->m_bModified = 1;
  CSafClient::DeleteAgent();
  const hvtest::ProgramResult run = Scan("--once");
  ASSERT_EQ(run.status, 0) << run.output;
  // How many the limit leaves depends on which link comes first.
  EXPECT_TRUE(std::regex_search(Log(), std::regex(" failed; [12] pages? not fetched: the agent's size limit was reached")))
      << Log();
}

TEST_F(HvScan, an_agent_open_elsewhere_waits_and_runs_once_it_is_free) {
  ASSERT_EQ(CSafClient::LoadAgentFile("Club", 1), 1);  // holds the agent's lock
  const hvtest::ProgramResult busy = Scan("--once");
  EXPECT_EQ(busy.status, 0) << busy.output;
  EXPECT_NE(Log().find("waiting: agent"), std::string::npos) << Log();
  EXPECT_EQ(LastRun(), m_lastRun) << "no run recorded while the agent was held";
  CSafClient::DeleteAgent();

  const hvtest::ProgramResult free = Scan("--once");
  EXPECT_EQ(free.status, 0) << free.output;
  EXPECT_EQ(Count(Log(), "done: agent"), 1u) << Log();
  EXPECT_GT(LastRun(), m_lastRun);
}

TEST_F(HvScan, a_second_instance_and_a_scheduler_turned_off_end_at_once_without_running) {
  {
    const int fd = open(Path("hvscan.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    const hvtest::ProgramResult second = Scan("");
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_FALSE(second.timedOut);
    close(fd);
  }
  EXPECT_EQ(LastRun(), m_lastRun);
  EXPECT_EQ(Log(), "");

  CSchedule::Instance().SetEnabled(false);
  const hvtest::ProgramResult off = Scan("");
  EXPECT_EQ(off.status, 0) << off.output;
  EXPECT_FALSE(off.timedOut);
  EXPECT_NE(Log().find("stopped: unattended runs are off"), std::string::npos) << Log();
  EXPECT_EQ(LastRun(), m_lastRun);
}

TEST_F(HvScan, left_running_it_runs_what_is_due_then_ends_cleanly_on_sigterm) {
  const hvtest::ProgramResult result = hvtest::RunProgram({"/usr/bin/timeout", "-s", "TERM", "3", HV_HVSCAN}, 30s);
  EXPECT_EQ(result.status, 124) << "ended by the signal, not before: " << result.output;
  const std::string log = Log();
  const std::size_t started = log.find("  started\n"), done = log.find("done: agent"), stopped = log.find("  stopped\n");
  EXPECT_TRUE(started < done && done < stopped && stopped != std::string::npos) << log;
  EXPECT_GT(LastRun(), m_lastRun);
}

TEST_F(HvScan, entries_naming_no_agent_are_logged_and_not_recorded_as_runs) {
  struct Case {
    const char* file;
    const char* result;
  };
  const Case cases[] = {
      {"relative/Club.hvx", "no agent: "},            // not an absolute path
      {"/nonexistent/Club.hvx", "no agent: "},        // no such agent
      {"/etc/passwd", "no agent: "},                  // not an agent file
  };
  for (const Case& c : cases) SetScheduleEntry(c.file, m_agentId.c_str(), "Hourly", m_lastRun);
  SetScheduleEntry(m_file.c_str(), (m_agentId + "\x07gone").c_str(), "Hourly", m_lastRun);
  const hvtest::ProgramResult result = Scan("--once");
  EXPECT_EQ(result.status, 1) << "what was due could not all be run: " << result.output;
  const std::string log = Log();
  EXPECT_EQ(Count(log, "no agent: "), 3u) << log;
  EXPECT_EQ(Count(log, "no such item: "), 1u) << log;
  EXPECT_EQ(Count(log, "done: "), 1u) << log;
  // The next look, by another hvscan --once: the failures wait for their next time.
  const hvtest::ProgramResult again = Scan("--once");
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_EQ(Log(), log);
  for (int n = 1; n <= 4; ++n) {
    std::string id, file, schedule;
    EXPECT_EQ(LoadAgentInfo((kRunKey + "\\Set" + std::to_string(n)).c_str(), id, file, schedule), m_lastRun) << n;
    EXPECT_EQ(id.empty(), n == 4) << n << ": only the entry of a node that is gone is blanked";
  }
}

TEST(ScanLog, keeps_the_newer_half_from_a_whole_line_when_a_line_would_pass_the_limit) {
  char pattern[] = "/tmp/hvscan-log-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/hvscan.log";
  hvscan::ScanLog log(path, 400);
  for (int n = 0; n < 40; ++n) log.Write("line " + std::to_string(n), 0);
  const std::string text = hvtest::ReadText(path);
  EXPECT_LE(text.size(), 400u);
  EXPECT_GE(text.size(), 150u);
  EXPECT_NE(text.find("  line 39\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("  line 0\n"), std::string::npos) << text;
  EXPECT_EQ(text.front(), hvscan::LogTime(0).front()) << "starts with a whole line";
  std::filesystem::remove_all(pattern);
}

TEST(ScanLog, links_in_the_logs_place_are_replaced_and_what_they_name_is_left_alone) {
  char pattern[] = "/tmp/hvscan-log-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/hvscan.log", outside = std::string(pattern) + "/system";
  std::ofstream(outside) << "keep\n";
  ASSERT_EQ(chmod(outside.c_str(), 0644), 0);
  // The log itself, and the name its rotation once wrote through.
  ASSERT_EQ(symlink(outside.c_str(), path.c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (path + ".new").c_str()), 0);
  hvscan::ScanLog log(path, 400);
  for (int n = 0; n < 40; ++n) log.Write("line " + std::to_string(n), 0);
  EXPECT_EQ(hvtest::ReadText(outside), "keep\n");
  struct stat info {};
  ASSERT_EQ(stat(outside.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_NE(hvtest::ReadText(path).find("  line 39\n"), std::string::npos);
  std::filesystem::remove_all(pattern);
}

}  // namespace
