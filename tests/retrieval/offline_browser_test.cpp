// A mirrored page opened from the disk in a real browser, with the server
// gone: every stylesheet, script, picture, font and frame it needs must
// load from the stored files. The page itself says what failed to load.
#include <filesystem>
#include <regex>

#include "retrieval/end_to_end.h"
#include "support/child_process.h"

namespace {

using namespace hvtest::e2e;

std::string FindInPath(const std::vector<std::string>& names) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');)
    for (const std::string& name : names)
      if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  return {};
}

// A TrueType font of the system's: the browser's font library needs one,
// so wherever the browser is installed there is one to serve.
std::string SystemFont() {
  std::error_code error;
  for (const char* root : {"/usr/share/fonts", "/usr/local/share/fonts"}) {
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
      if (it->is_regular_file(error) && it->path().extension() == ".ttf") return it->path().string();
  }
  return {};
}

TEST_F(RetrievalEndToEnd, a_mirrored_page_shows_whole_offline_in_a_browser) {
  const std::string browser = FindInPath({"chromium", "chromium-browser"});
  if (browser.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  const std::string font = SystemFont();
  if (font.empty()) GTEST_SKIP() << "no TrueType font under /usr/share/fonts to serve as the page's web font";

  const std::string data = std::string(HV_TEST_DATA_DIR) + "/offline_site/";
  for (const char* file : {"index.html", "frame.html", "other.html", "css/site.css", "js/app.js"})
    ASSERT_TRUE(m_site->Write(file, ReadAll(data + file))) << file;
  for (const char* gif : {"plain", "wide", "bg", "inner"})
    ASSERT_TRUE(m_site->Write(std::string("img/") + gif + ".gif", SiteBuilder::Gif()));
  // A picture of one pixel is no pixel wide at twice the density: the
  // srcset's pictures are larger.
  for (const char* svg : {"small", "big"})
    ASSERT_TRUE(m_site->Write(std::string("img/") + svg + ".svg",
                              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\">"
                              "<rect width=\"8\" height=\"8\" fill=\"teal\"/></svg>\n"));
  ASSERT_TRUE(m_site->Write("fonts/lettering.ttf", ReadAll(font)));
  Serve();

  // harvion set --levels all --confine site --files graphics
  CSafNode* agent = NewAgent("Offline");
  ASSERT_NE(agent, nullptr);
  CSafNode* location = AddLocation(agent, "Site", "index.html",
                                   CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 127,
                                                            CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 0, 0));
  ASSERT_NE(location, nullptr);
  ASSERT_TRUE(RunAndWait(agent));
  m_nginx->Stop();
  const auto records = Records();
  ASSERT_TRUE(Stored(records, "index.html"));

  // Twice the pixels, so that the srcset's 2x picture is the one shown.
  const hvtest::ProgramResult result = hvtest::RunProgram(
      {browser, "--headless", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + Path("browser"),
       "--force-device-scale-factor=2", "--virtual-time-budget=10000", "--dump-dom",
       "file://" + StoredPath(records.at(Url("index.html")))},
      60s);
  ASSERT_FALSE(result.timedOut);
  std::smatch verdict;
  ASSERT_TRUE(std::regex_search(result.output, verdict, std::regex("id=\"verdict\">([^<]*)<")))
      << result.output;
  EXPECT_EQ(verdict[1].str(), "all loaded");
}

}  // namespace
