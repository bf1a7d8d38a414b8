// The run log read as a hostile file, and the report pages made from it:
// whatever a log or a stored page holds, the HTML and JSON stay escaped and
// small.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/headless/change_anchor.h"
#include "tools/headless/change_output.h"
#include "tools/headless/run_log.h"

namespace harvion {
namespace {

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/hvrunlog.XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    m_dir = dir;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  void Write(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(m_dir + "/" + name).parent_path());
    std::ofstream(m_dir + "/" + name, std::ios::binary) << bytes;
  }
  std::string m_dir;
};

LoggedRun RunOf(std::vector<LoggedPage> pages) {
  LoggedRun run;
  run.start = 1000;
  run.end = 1010;
  for (const LoggedPage& page : pages) ++run.counts[static_cast<int>(page.kind)];
  run.pages = std::move(pages);
  return run;
}

TEST(ChangeAnchor, is_fnv1a_of_the_address) {
  EXPECT_EQ(ChangeAnchor(""), "c-cbf29ce484222325");
  EXPECT_EQ(ChangeAnchor("a"), "c-af63dc4c8601ec8c");
  EXPECT_NE(ChangeAnchor("http://h/a"), ChangeAnchor("http://h/b"));
}

TEST(RunLogRead, passes_over_what_it_cannot_read) {
  const std::string head = "harvion run log 1\n";
  const std::string run = "run\t7\t100\t200\tcompleted\t1\t0\t0\t0\n";
  const std::string page = "page\tnew\thttp://h/a\tA\t3S000001.html\t\t\n";
  const struct {
    const char* name;
    std::string text;
    std::size_t runs;
    std::size_t pages;  // of the last run
  } cases[] = {
      {"a good log", head + run + page, 1, 1},
      {"another format", "harvion run log 2\n" + run + page, 0, 0},
      {"a page before any run", head + page + run, 1, 0},
      {"pages of a run line that cannot be read", head + run + page + "run\tx\t1\t2\tcompleted\t0\t0\t0\t0\n" + page,
       1, 1},
      {"a run line with a field missing", head + "run\t7\t100\t200\tcompleted\t1\t0\t0\n" + page, 0, 0},
      {"an unknown kind", head + run + "page\tmoved\thttp://h/a\t\t\t\t\n" + page, 1, 1},
      {"a bad escape", head + run + "page\tnew\thttp://h/%zz\t\t\t\t\n" + page, 1, 1},
      {"an empty address", head + run + "page\tnew\t\t\t\t\t\n", 1, 0},
      {"a line far too long", head + run + "page\tnew\thttp://h/" + std::string(70000, 'a') + "\t\t\t\t\n", 1, 0},
      {"no final newline", head + run + page.substr(0, page.size() - 1), 1, 1},
      {"CR LF lines", "harvion run log 1\r\n" + run, 0, 0},
  };
  for (const auto& c : cases) {
    const std::vector<LoggedRun> runs = RunLog::Parse(c.text);
    ASSERT_EQ(runs.size(), c.runs) << c.name;
    if (!runs.empty()) {
      EXPECT_EQ(runs.back().pages.size(), c.pages) << c.name;
    }
  }
}

TEST_F(RunLogTest, keeps_the_last_runs_and_every_byte_of_their_fields) {
  std::string error;
  for (int i = 0; i < 23; ++i) {
    LoggedRun run = RunOf({{ChangeKind::failed, "http://h/\t%41\n", "t\x01tle\xE9", "3S000001.html", "", "why"}});
    ASSERT_TRUE(RunLog::Append(m_dir, run, error)) << error;
    EXPECT_EQ(run.number, static_cast<unsigned>(i + 1));
  }
  const std::vector<LoggedRun> runs = RunLog::Read(m_dir);
  ASSERT_EQ(runs.size(), RunLog::kMaxRuns);
  EXPECT_EQ(runs.front().number, 4u);
  EXPECT_EQ(runs.back().number, 23u);
  ASSERT_EQ(runs.back().pages.size(), 1u);
  EXPECT_EQ(runs.back().pages[0].address, "http://h/\t%41\n");
  EXPECT_EQ(runs.back().pages[0].title, "t\x01tle\xE9");
  EXPECT_EQ(runs.back().counts[3], 1u);

  // A file larger than any this program writes is not read (nor changed by reading).
  const std::string path = m_dir + "/" + RunLog::FileName();
  std::filesystem::resize_file(path, RunLog::kMaxFile + 1);
  EXPECT_TRUE(RunLog::Read(m_dir).empty());
  EXPECT_EQ(std::filesystem::file_size(path), RunLog::kMaxFile + 1);
}

// A modified page whose text is hostile, a log entry whose fields are, and a
// copy of 10 MB on one line.
TEST_F(RunLogTest, hostile_pages_are_escaped_and_bounded_in_every_form) {
  const std::string script = "<script>alert(1)</script>";
  Write("3S000001.html", "<p>calm words here &lt;script&gt;alert(2)&lt;/script&gt; and more</p>" + script);
  Write("previous/3S000001.html", "<p>calm words here and more</p>");
  const std::string huge(10u << 20, 'z');
  Write("3S000002.html", "<p>" + huge + "</p>");
  Write("previous/3S000002.html", "<p>" + huge + "y</p>");
  const LoggedRun run = RunOf({
      {ChangeKind::modified, "http://h/a", script + "\"'&", "3S000001.html", "previous/3S000001.html", ""},
      {ChangeKind::modified, "http://h/big", "", "3S000002.html", "previous/3S000002.html", ""},
      {ChangeKind::gone, "javascript:alert(3)", "", "../../etc/passwd", "", "404 <b>gone</b>"},
  });
  const ChangeView view = MakeChangeView("Agent<i>", m_dir, run, true);
  ASSERT_EQ(view.pages.size(), 3u);
  EXPECT_EQ(view.pages[0].difference, Difference::shown);
  EXPECT_EQ(view.pages[1].difference, Difference::shown);

  const std::string html = ChangesHtml(view);
  EXPECT_LT(html.size(), 16u << 10);
  for (const char* banned : {"<script", "<i>", "<b>", "javascript:alert(3)\"", "etc/passwd\""})
    EXPECT_EQ(html.find(banned), std::string::npos) << banned;
  EXPECT_NE(html.find("<ins>&lt;script&gt;alert(2)&lt;/script&gt;</ins>"), std::string::npos) << html;
  EXPECT_NE(html.find("id=\"" + ChangeAnchor("http://h/a") + "\""), std::string::npos);
  EXPECT_NE(html.find("href=\"3S000001.html\""), std::string::npos);
  EXPECT_NE(html.find("href=\"http://h/a\""), std::string::npos);

  std::ostringstream json;
  WriteChangesJson(json, view);
  EXPECT_LT(json.str().size(), 16u << 10);
  EXPECT_EQ(json.str().find('<'), std::string::npos);
  EXPECT_NE(json.str().find("\"text\": \"\\u003cscript\\u003ealert(2)\\u003c/script\\u003e\""), std::string::npos)
      << json.str();

  std::ostringstream text;
  WriteChangesText(text, view);
  EXPECT_LT(text.str().size(), 16u << 10);
  EXPECT_NE(text.str().find("{+<script>alert(2)</script>+}"), std::string::npos) << text.str();
}

}  // namespace
}  // namespace harvion
