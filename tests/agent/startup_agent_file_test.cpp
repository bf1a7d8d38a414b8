// The Startup Agent's built-in file and the agent the engine makes of it.
#include <gtest/gtest.h>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"
#include "support/test_home.h"

namespace {

// The 296 bytes, spelled out from the layout.
const std::vector<std::uint8_t> kStartupAgent = {
    0x00, 0x03, 0x00, 0x00,                                      // version 768
    0xFF, 0xFF, 0x01, 0x00, 0x0C, 0x00,                          // new class, schema 1, 12 chars
    'C', 'A', 'g', 'e', 'n', 't', 'A', 'n', 'c', 'h', 'o', 'r',  // class 1, agent is object 2
    0x04, 0x00,                                                  // 4 file types
    0xFF, 0xFF, 0x01, 0x00, 0x0F, 0x00,                          // new class (3)
    'C', 'E', 'x', 'c', 'e', 'p', 't', 'i', 'o', 'n', 'E', 'n', 't', 'r', 'y',
    0x0C, 'O', 'u', 't', 'l', 'i', 'n', 'e', ' ', 'o', 'n', 'l', 'y', 0x00, 0x00, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,                                      // id 0, empty text, value 6
    0x03, 0x80,                                                  // object of class 3
    0x09, 'T', 'e', 'x', 't', ' ', 'o', 'n', 'l', 'y', 0x01, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x03, 0x80,
    0x11, 'T', 'e', 'x', 't', ' ', 'a', 'n', 'd', ' ', 'g', 'r', 'a', 'p', 'h', 'i', 'c', 's',
    0x02, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x03, 0x80,
    0x09, 'A', 'l', 'l', ' ', 'f', 'i', 'l', 'e', 's', 0x03, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x04, 0x00,                                                  // 4 locations
    0x03, 0x80,
    0x0C, 'U', 'n', 'r', 'e', 's', 't', 'r', 'i', 'c', 't', 'e', 'd',
    0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x03, 0x80,
    0x11, 'L', 'i', 'n', 'k', 's', ' ', 'w', 'i', 't', 'h', 'i', 'n', ' ', 's', 'i', 't', 'e',
    0x01, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x03, 0x80,
    0x16, 'L', 'i', 'n', 'k', 's', ' ', 'w', 'i', 't', 'h', 'i', 'n', ' ', 'd', 'i', 'r', 'e', 'c', 't', 'o', 'r',
    'y', 0x02, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x03, 0x80,
    0x12, 'L', 'i', 'n', 'k', 's', ' ', 'o', 'u', 't', 's', 'i', 'd', 'e', ' ', 's', 'i', 't', 'e',
    0x03, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00,                                            // three empty author texts
    0x00, 0x00, 0x00, 0x00,                                      // size limit 0
    0x0D, 'S', 't', 'a', 'r', 't', 'u', 'p', ' ', 'A', 'g', 'e', 'n', 't',
    0x01, 0x01,                                                  // name fixed, user item
    0x00, 0x00,                                                  // parent null
    0x01, 0x00, 0x00, 0x00,                                      // link levels 1
    0x02, 0x01, 0x00,                                            // load detail, link type, own settings
    0x00, 0x00,                                                  // no strategy names
    0x01, 0x00, 0x00,                                            // use parent schedule, no schedule
    0x00, 0x00,                                                  // no children
};

class StartupAgent : public TestHome {};

TEST_F(StartupAgent, built_in_file_is_the_296_bytes_of_the_layout) {
  ASSERT_EQ(kStartupAgent.size(), 296u);
  const hv::res::Data data = hv::res::LoadData(hv::res::IDR_STARTUP_AGENT_FILE);
  EXPECT_EQ(std::vector<std::uint8_t>(data.bytes, data.bytes + data.size), kStartupAgent);
}

TEST_F(StartupAgent, opening_no_name_creates_it_with_frameset_and_help) {
  ASSERT_EQ(CSafClient::LoadAgentFile("", 0), 1);
  CAgentAnchor* agent = CAgentManager::Instance().Agent();
  ASSERT_NE(agent, nullptr);
  EXPECT_EQ(agent->m_strName, "Startup Agent");
  EXPECT_EQ(agent->m_fileTypes.GetNameAt(0), "Outline only");
  EXPECT_EQ(agent->m_locations.GetSize(), 4);
  EXPECT_EQ(ReadFile(Path("Startup Agent.hvx")), kStartupAgent);
  const std::string frameset(
      "<HTML>\r\n<HEAD>\r\n<TITLE>Harvion Plugin Agent</TITLE>\r\n</HEAD>\r\n<FRAMESET COLS=\"220,*\">\r\n"
      "<FRAME NAME=_HVAgent SRC=\"Startup Agent.hvx\">\r\n<FRAME NAME=_HVPage SRC=\"Startup Agent/hvpage.htm\">\r\n"
      "</FRAMESET>\r\n</HTML>\r\n");
  const auto written = ReadFile(Path("Startup Agent.htm"));
  EXPECT_EQ(std::string(written.begin(), written.end()), frameset);
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("Startup Agent/hvpage.htm")));
  // The page the agent names as its local file is the one just written.
  HGLOBAL block = CSafClient::GetEmptyFileName();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(block))), Path("Startup Agent/hvpage.htm"));
  GlobalUnlock(block);
  GlobalFree(block);
  // The file version reaches the user interface with the archive.
  ASSERT_FALSE(m_ui->m_versions.empty());
  EXPECT_EQ(m_ui->m_versions[0], 768u);
}

TEST_F(StartupAgent, round_trip_writes_the_same_bytes) {
  ASSERT_EQ(CSafClient::LoadAgentFile("", 0), 1);
  CAgentManager::Instance().Agent()->m_bModified = 1;
  CSafClient::SaveAgentFile();
  EXPECT_EQ(ReadFile(Path("Startup Agent.hvx")), kStartupAgent);
}

TEST_F(StartupAgent, missing_help_bundle_writes_no_help_files) {
  setenv("HARVION_HELP_DIR", Path("no-such-bundle").c_str(), 1);
  ASSERT_EQ(CSafClient::LoadAgentFile("", 0), 1);
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("Startup Agent.hvx")));
  EXPECT_FALSE(hv::fs::Exists(Path("Startup Agent/hvpage.htm")));
}

TEST_F(StartupAgent, unreadable_agent_falls_back_to_it_unless_told_not_to) {
  WriteFile(Path("Broken.hvx"), {0x00, 0x03, 0x00, 0x00, 0xFF});
  hv::fs::EnsureDirectory(Path("Broken"));
  EXPECT_EQ(CSafClient::LoadAgentFile("Broken", 1), 0);
  EXPECT_EQ(CAgentManager::Instance().Agent(), nullptr);
  EXPECT_EQ(CSafClient::LoadAgentFile("Broken", 0), 1);
  EXPECT_EQ(CAgentManager::Instance().AgentName(), "Startup Agent");
}

TEST_F(StartupAgent, unwritable_file_still_gets_frameset_and_help) {
  // A folder where the agent file belongs cannot be replaced by a file.
  ASSERT_TRUE(hv::fs::EnsureDirectory(Path("Startup Agent.hvx")));
  WriteFile(Path("Startup Agent.hvx/keep"), {'k'});
  EXPECT_TRUE(CAgentManager::Instance().CreateStartupAgent());
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("Startup Agent.htm")));
  EXPECT_TRUE(hv::fs::IsRegularFile(Path("Startup Agent/hvpage.htm")));
}

}  // namespace
