// The user's on-change command: what it is given, and that it cannot hold
// a run or run what a page says.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/headless/change_notice.h"
#include "support/test_home.h"

namespace {

using namespace std::chrono_literals;

class ChangeCommand : public TestHome {};

TEST_F(ChangeCommand, runs_with_the_notice_in_its_environment_and_bounded) {
  harvion::ChangeNotice notice;
  // An agent's name, like a page's text, is data: never read by a shell.
  notice.agent = "$(touch " + Path("PWNED") + "); `touch " + Path("PWNED") + "` 'x\"";
  notice.added = 2, notice.modified = 1, notice.gone = 0, notice.failed = 4;
  notice.report = Path("News/changes.html");
  notice.contents = Path("News/contents.html");
  const std::string out = Path("env.txt");
  const struct {
    std::string command;
    std::chrono::milliseconds limit;
    const char* result;  // the line, up to its end; empty for success
  } cases[] = {
      {"printf '%s|' \"$HARVION_AGENT\" $HARVION_NEW $HARVION_MODIFIED $HARVION_GONE $HARVION_FAILED "
       "\"$HARVION_REPORT\" \"$HARVION_CONTENTS\" >'" + out + "'",
       5s, ""},
      {"exit 7", 5s, "the on-change command failed with exit status 7"},
      {"kill -9 $$", 5s, "the on-change command was ended by signal"},
      // The command and what it started are stopped at the limit.
      {"sleep 30 & sleep 30", 300ms, "the on-change command did not end within 0 seconds and was stopped"},
      {"trap '' TERM; sleep 30", 300ms, "the on-change command did not end within 0 seconds and was stopped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const auto start = std::chrono::steady_clock::now();
    const std::string result = harvion::RunChangeCommand(c.command, notice, c.limit);
    EXPECT_LT(std::chrono::steady_clock::now() - start, c.limit + 4s);
    EXPECT_EQ(result.substr(0, std::string(c.result).size()), c.result) << result;
    EXPECT_EQ(result.empty(), !*c.result);
  }
  std::ifstream in(out);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            notice.agent + "|2|1|0|4|" + notice.report + "|" + notice.contents + "|");
  EXPECT_FALSE(std::filesystem::exists(Path("PWNED")));
}

}  // namespace
