// The frameset page that shows an agent beside a page: its text, one per
// agent, and its place in the totals.
#include <gtest/gtest.h>

#include <dirent.h>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "support/test_home.h"

namespace {

std::vector<std::string> FrameSets(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* e = readdir(dir))
      if (std::string(e->d_name).rfind("FRM", 0) == 0) names.push_back(e->d_name);
    closedir(dir);
  }
  return names;
}

std::string Expected(const std::string& agent, const std::string& address) {
  return "<HTML>\r\n<HEAD>\r\n<TITLE>Harvion Plugin Agent</TITLE>\r\n\r\n<SCRIPT LANGUAGE=\"JAVASCRIPT\">\r\n\r\n"
         "function setStatus()\r\n{\r\n   if(navigator.userAgent.indexOf(\"MSIE\") > -1)\r\n   {\r\n"
         "   window.defaultstatus = \"Harvion: \" + window.frames[1].location.href;\r\n"
         "    var t = setTimeout(\"setStatus()\",1000)\r\n   }\r\n}\r\n</SCRIPT>\r\n</HEAD>\r\n"
         "<FRAMESET COLS=\"230,*\" onLoad=\"setStatus()\">\r\n<FRAME NAME=_HVAgent SRC=\"../" +
         agent + ".hvx\">\r\n<FRAME NAME=_HVPage SRC=\"" + address + "\">\r\n</FRAMESET>\r\n";
}

class FrameSet : public TestHome {
 protected:
  std::string Create(const char* address) {
    char path[4096];
    path[0] = 'x';
    const int ok = CSafClient::CreateFrameSet(address, path, sizeof path);
    EXPECT_EQ(ok != 0, path[0] != '\0');
    return path;
  }
  std::string Text(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
  }
};

TEST_F(FrameSet, second_call_replaces_the_first_and_the_totals_follow) {
  ASSERT_NE(CSafClient::CreateAgent("Daily"), nullptr);
  CAgentAnchor* agent = CAgentManager::Instance().Agent();
  const std::string first = Create("http://h/a%20b.html");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(Text(first), Expected("Daily", "http://h/a%20b.html"));  // '%' is data, not format
  const std::string second = Create("3S000001.html");
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(FrameSets(Path("Daily")), std::vector<std::string>{second.substr(second.rfind('/') + 1)});
  EXPECT_EQ(second.substr(second.size() - 4), ".HTM");
  EXPECT_EQ(agent->m_nFileCount, 1);
  EXPECT_EQ(agent->m_nByteCount, static_cast<std::int32_t>(Expected("Daily", "3S000001.html").size()));
}

TEST_F(FrameSet, address_cannot_break_out_of_its_attribute) {
  ASSERT_NE(CSafClient::CreateAgent("Safe"), nullptr);
  const std::string path = Create("http://h/\"><script>x</script>");
  EXPECT_NE(Text(path).find("SRC=\"http://h/%22%3E%3Cscript%3Ex%3C/script%3E\">"), std::string::npos);
}

TEST_F(FrameSet, without_an_open_agent_the_startup_agent_gets_it) {
  const std::string path = Create("http://h/");
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.rfind(Path("Startup Agent/FRM"), 0), 0u);
  EXPECT_TRUE(CSafClient::DoesAgentExist("Startup Agent"));
  EXPECT_EQ(Text(path), Expected("Startup Agent", "http://h/"));
}

TEST_F(FrameSet, too_small_a_buffer_gets_nothing) {
  ASSERT_NE(CSafClient::CreateAgent("Tiny"), nullptr);
  char path[8] = "x";
  EXPECT_EQ(CSafClient::CreateFrameSet("http://h/", path, sizeof path), 0);
  EXPECT_STREQ(path, "");
}

}  // namespace
