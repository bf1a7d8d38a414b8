// A mirrored page opened from the disk in a real browser, with the server
// gone: every stylesheet, script, picture, font and frame it needs must
// load from the stored files. The page itself says what failed to load.
#include <filesystem>
#include <regex>
#include <tuple>

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
  ASSERT_TRUE(m_site->Write("img/plain.gif", SiteBuilder::Gif()));
  // Pictures to be seen in a screenshot; a picture of one pixel would be no
  // pixel wide at twice the density.
  for (const auto& [name, size, colour] : {std::tuple{"small", 8, "teal"}, {"big", 16, "navy"}, {"wide", 24, "orange"},
                                           {"bg", 6, "khaki"}, {"inner", 12, "crimson"}}) {
    const std::string side = std::to_string(size);
    ASSERT_TRUE(m_site->Write(std::string("img/") + name + ".svg",
                              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + side + "\" height=\"" + side +
                                  "\"><rect width=\"" + side + "\" height=\"" + side + "\" fill=\"" + colour +
                                  "\"/></svg>\n"));
  }
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
  const auto records = Records();
  ASSERT_TRUE(Stored(records, "index.html"));
  const std::string stored = "file://" + StoredPath(records.at(Url("index.html")));

  // Twice the pixels, so that the srcset's 2x picture is the one shown.
  const auto browse = [&](const std::string& address, const std::string& what) {
    return hvtest::RunProgram({browser, "--headless", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + Path("browser"),
                               "--force-device-scale-factor=2", "--window-size=800,600",
                               "--virtual-time-budget=10000", what, address},
                              60s);
  };
  const hvtest::ProgramResult online = browse(Url("index.html"), "--screenshot=" + Path("online.png"));
  ASSERT_FALSE(online.timedOut);
  m_nginx->Stop();
  const hvtest::ProgramResult offline = browse(stored, "--screenshot=" + Path("offline.png"));
  ASSERT_FALSE(offline.timedOut);
  const hvtest::ProgramResult dom = browse(stored, "--dump-dom");
  ASSERT_FALSE(dom.timedOut);
  std::smatch verdict;
  ASSERT_TRUE(std::regex_search(dom.output, verdict, std::regex("id=\"verdict\">([^<]*)<"))) << dom.output;
  EXPECT_EQ(verdict[1].str(), "all loaded");
  // The same machine draws the same page the same: the copy looks exactly
  // as the site did.
  const std::string online_png = ReadAll(Path("online.png"));
  EXPECT_FALSE(online_png.empty());
  EXPECT_TRUE(online_png == ReadAll(Path("offline.png"))) << "the screenshots online and offline differ";
  // For showing the two side by side (the README does).
  if (const char* keep = std::getenv("HV_KEEP_SCREENSHOTS")) {
    for (const char* shot : {"online.png", "offline.png"})
      std::filesystem::copy_file(Path(shot), std::string(keep) + "/" + shot,
                                 std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace
