// What a command that dies halfway leaves of an agent, and what the next
// command makes of it; commands on one agent in several processes at once.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/crash_point.h"
#include "harvion/agent_files.h"
#include "platform/files/file_system.h"
#include "support/test_home.h"

namespace {

const char* g_crashPoint = nullptr;

// Runs op in a child process that ends at the named crash point. False when
// the child never got there.
bool CrashAt(const char* point, const std::function<void()>& op) {
  const pid_t pid = fork();
  if (pid == 0) {
    g_crashPoint = point;
    hv::SetCrashHandler([](const char* reached) {
      if (std::strcmp(reached, g_crashPoint) == 0) _exit(0);
    });
    op();
    _exit(1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class AgentCrash : public TestHome {
 protected:
  // A saved agent with a frameset page in its folder.
  void MakeAgent(const std::string& name) {
    ASSERT_NE(CSafClient::CreateAgent(name.c_str()), nullptr);
    CSafClient::SaveAgentFile();
    CSafClient::DeleteAgent();
    WriteFile(Path(name + "/FRM1.HTM"), {'p'});
  }
  static void Rename(const char* from, const char* to) {
    if (CSafClient::LoadAgentFile(from, 1)) CAgentManager::Instance().Agent()->m_pNode->SetData(itemName, to, 0);
  }
  bool Opens(const std::string& name) {
    const bool opened = CSafClient::LoadAgentFile(name.c_str(), 1) == 1 &&
                        CAgentManager::Instance().Agent()->m_strName == name;
    CSafClient::DeleteAgent();
    return opened;
  }
};

TEST_F(AgentCrash, each_crash_point_leaves_what_the_next_command_repairs) {
  struct Case {
    const char* point;
    std::function<void()> setUp, crashing, next;
    const char* agent;     // opens afterwards, with its frameset page when kept
    bool pageKept;
    const char* freeName;  // no file and no folder afterwards
  };
  const auto make = [this] { MakeAgent("A"); };
  const auto rename = [] { Rename("A", "B"); };
  const Case cases[] = {
      // An orphan folder: the next create takes it over.
      {"create: folder made", [] {}, [] { CSafClient::CreateAgent("A"); },
       [] {
         ASSERT_NE(CSafClient::CreateAgent("A"), nullptr);
         CSafClient::DeleteAgent();
       },
       "A", false, nullptr},
      // The file is gone, so the agent is; the next delete clears the rest.
      {"delete: file removed", make, [] { if (CSafClient::LoadAgentFile("A", 1)) CSafClient::DeleteAgentFile(); },
       [] { EXPECT_EQ(RemoveOrphanAgentFolder("A"), 1); }, nullptr, false, "A"},
      // Before the file moved, opening the old name undoes the rename; after,
      // it stands.
      {"rename: journal written", make, rename, [] {}, "A", true, "B"},
      {"rename: folder moved", make, rename, [] {}, "A", true, "B"},
      {"rename: file moved", make, rename, [] {}, "B", true, "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    c.setUp();
    ASSERT_TRUE(CrashAt(c.point, c.crashing));
    c.next();
    if (c.agent) {
      EXPECT_TRUE(Opens(c.agent));
      EXPECT_EQ(hv::fs::IsRegularFile(Path(std::string(c.agent) + "/FRM1.HTM")), c.pageKept);
    }
    if (c.freeName) {
      EXPECT_EQ(CSafClient::IsAgentMissing(c.freeName), 1);
    }
    EXPECT_FALSE(hv::fs::Exists(Path(".A.hvx.to")));
    for (const char* name : {"A", "B"}) {
      if (CSafClient::LoadAgentFile(name, 1)) CSafClient::DeleteAgentFile();
      RemoveOrphanAgentFolder(name);
    }
    ASSERT_EQ(CSafClient::IsAgentMissing("A") + CSafClient::IsAgentMissing("B"), 2);
  }
}

TEST_F(AgentCrash, second_process_waits_for_the_agent_and_loses_nothing) {
  MakeAgent("Shared");
  int go[2], opened[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(opened), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    char byte;
    if (read(go[0], &byte, 1) != 1 || CSafClient::LoadAgentFile("Shared", 1) != 1) _exit(1);
    if (write(opened[1], "x", 1) != 1) _exit(1);
    std::string error;
    CSafNode* item = CSafClient::CreateHTMLNode(CAgentManager::Instance().Agent()->m_pNode, "", "http://child/", 0);
    _exit(item && SaveAgentFileChecked(error) ? 0 : 1);
  }
  ASSERT_EQ(CSafClient::LoadAgentFile("Shared", 1), 1);
  ASSERT_EQ(write(go[1], "x", 1), 1);
  pollfd waiting{opened[0], POLLIN, 0};
  EXPECT_EQ(poll(&waiting, 1, 300), 0) << "the child opened the agent while it was held";
  ASSERT_NE(CSafClient::CreateHTMLNode(CAgentManager::Instance().Agent()->m_pNode, "", "http://parent/", 0), nullptr);
  CSafClient::DeleteAgent();  // saves and lets go
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {go[0], go[1], opened[0], opened[1]}) close(fd);
  ASSERT_EQ(CSafClient::LoadAgentFile("Shared", 1), 1);
  EXPECT_EQ(CAgentManager::Instance().Agent()->GetChildCount(), 2);
}

TEST_F(AgentCrash, reading_does_not_wait_for_a_change) {
  MakeAgent("Shared");
  int go[2], answer[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(answer), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    char result = 0;
    if (read(go[0], &result, 1) == 1) result = LoadAgentFileToRead("Shared") ? 'r' : 'x';
    _exit(write(answer[1], &result, 1) == 1 ? 0 : 1);
  }
  ASSERT_EQ(CSafClient::LoadAgentFile("Shared", 1), 1);
  ASSERT_EQ(write(go[1], "x", 1), 1);
  pollfd reply{answer[0], POLLIN, 0};
  char result = 0;
  EXPECT_EQ(poll(&reply, 1, 5000), 1) << "reading waited for the agent's lock";
  CSafClient::DeleteAgent();
  EXPECT_EQ(read(answer[0], &result, 1) == 1 ? result : 0, 'r');
  waitpid(pid, nullptr, 0);
  for (int fd : {go[0], go[1], answer[0], answer[1]}) close(fd);
}

}  // namespace
