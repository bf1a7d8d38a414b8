// The plug-in protocol between two processes: this test is the browser side
// (the component), hvmain runs offscreen as the other process.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser_component.h"
#include "harvion/child_window.h"
#include "harvion/message_target.h"
#include "harvion/plugin_messages.h"
#include "harvion/top_level_window.h"
#include "harvion/window_messages.h"

#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A fresh folder, removed with everything in it at the end. Only hvdll's
// interface is linked here: one copy of the window tables, as in a browser.
class Folder {
 public:
  Folder() {
    std::string pattern = std::filesystem::temp_directory_path() / "hvlink.XXXXXX";
    if (::mkdtemp(pattern.data())) m_path = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

using hvside::BrowserComponent;
using hvside::BrowserKind;
using hvside::StartMode;

// What hvmain asked of the browser, as the component's callbacks heard it.
class Heard {
 public:
  BrowserComponent::Callbacks Callbacks() {
    return {[this](const std::string& url) { Add("navigate " + url); },
            [this](bool attached) { Add(attached ? "shown 1" : "shown 0"); }, [this] { Add("gone"); }};
  }
  // Waits at most ten seconds for an event starting with `prefix`, and
  // takes it; empty when none came.
  std::string Take(const std::string& prefix) {
    std::unique_lock lock(m_mutex);
    std::string found;
    m_changed.wait_for(lock, 10s, [&] {
      for (auto it = m_events.begin(); it != m_events.end(); ++it) {
        if (it->rfind(prefix, 0) != 0) continue;
        found = *it;
        m_events.erase(it);
        return true;
      }
      return false;
    });
    return found;
  }

 private:
  void Add(std::string event) {
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
    m_changed.notify_all();
  }
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_events;
};

class BrowserLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_RUNTIME_DIR", m_runtime.path().c_str(), 1);
    ::setenv("HARVION_HOME", m_home.path().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("HARVION_HVMAIN", HV_HVMAIN, 1);
    ASSERT_EQ(Harvion("new News"), 0);
    ASSERT_EQ(Harvion("add News http://example.org/ --title Example"), 0);
  }

  static int Harvion(const std::string& arguments) {
    return std::system((std::string(HV_HARVION) + " " + arguments + " >/dev/null 2>&1").c_str());
  }
  std::string Tree() {
    const std::string out = m_home / "tree.txt";
    std::system((std::string(HV_HARVION) + " tree News >" + out + " 2>&1").c_str());
    return ReadText(out);
  }
  std::string Messages() { return ReadText(m_home / "messages.log"); }

  // A component whose hvmain writes its message boxes to the log.
  std::unique_ptr<BrowserComponent> Component(BrowserKind kind) {
    auto component = std::make_unique<BrowserComponent>(kind, m_heard.Callbacks());
    component->SetExtraArguments({"--message-log", m_home / "messages.log"});
    return component;
  }
  // An hvmain a failed test left behind is ended with it.
  void TearDown() override {
    for (const auto& window : EnumWindows())
      if (window.className == kPluginFrameClass) ::kill(window.processId, SIGKILL);
  }

  // Sent after posted messages, answered once hvmain handled them.
  static void Sync(BrowserComponent& component) { ASSERT_TRUE(component.Attached().has_value()); }
  static void Quit(BrowserComponent& component) {
    ASSERT_TRUE(component.Quit());
    for (int i = 0; i < 200 && !component.ExitCode(); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(component.ExitCode(), kPluginQuitCode);
  }

  Folder m_runtime;
  Folder m_home;
  Heard m_heard;
};

TEST_F(BrowserLink, start_up_opens_the_agent_then_attaches_shows_or_adds_the_page) {
  const struct {
    BrowserKind kind;
    StartMode mode;
    const char* title;     // as the page names itself
    const char* expected;  // what hvmain shows first
  } cases[] = {
      {BrowserKind::explorer, StartMode::attach, "", "shown 1"},
      {BrowserKind::netscape, StartMode::attach, "", "shown 1"},
      {BrowserKind::explorer, StartMode::show, "", "navigate /"},
      {BrowserKind::netscape, StartMode::show, "", "navigate /"},
      {BrowserKind::explorer, StartMode::addPage, "Explorer's page", "added Explorer's page"},
      {BrowserKind::netscape, StartMode::addPage, "Netscape - [not stripped twice]", "added Netscape - [not stripped twice]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    auto browser = Component(c.kind);
    ASSERT_NE(browser->BrowserWindow(), nullptr);
    browser->SetPage("http://page.example/" + std::to_string(int(c.mode)), c.title);
    std::string error;
    ASSERT_TRUE(browser->Start("News", c.mode, error)) << error;
    Sync(*browser);
    EXPECT_EQ(browser->OpenAgentName(), "News");
    EXPECT_EQ(browser->Attached(), c.mode == StartMode::attach);
    const std::string expected = c.expected;
    if (expected.rfind("added ", 0) == 0) {
      EXPECT_NE(Messages().find("The page: " + expected.substr(6) + " / from http://page.example/"), std::string::npos)
          << Messages();
    } else {
      // Show without a host: the agent's frameset for the current page.
      const std::string event = m_heard.Take(expected);
      EXPECT_FALSE(event.empty());
      if (c.mode == StartMode::show) {
        EXPECT_NE(event.find("/News/FRM"), std::string::npos) << event;
      }
    }
    // A second start for the same window finds the frame and ends at once.
    const std::string second = std::string(HV_HVMAIN) + " --no-splash --browser-window " +
                               std::to_string(reinterpret_cast<std::uintptr_t>(browser->BrowserWindow())) +
                               " 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(second.c_str())), 1);
    Quit(*browser);
    // Saved at the end, with the page the browser showed.
    if (expected.rfind("added ", 0) == 0) {
      EXPECT_NE(Tree().find('"' + expected.substr(6) + '"'), std::string::npos) << Tree();
    }
  }
}

TEST_F(BrowserLink, attach_detach_and_the_agents_view_of_the_current_page) {
  auto browser = Component(BrowserKind::explorer);
  browser->SetPage("http://page.example/", "Page");
  std::string error;
  ASSERT_TRUE(browser->Start("News", StartMode::attach, error)) << error;
  EXPECT_EQ(m_heard.Take("shown"), "shown 1");
  ASSERT_TRUE(browser->Resize(300, 400));

  // Attached, the page in the frameset's right frame comes from the status
  // bar, whatever its prefix's case; without one, the selected item's page.
  const struct {
    const char* status;
    const char* shown;
  } views[] = {{"HARVION: http://right.example/a", "navigate http://right.example/a"},
               {"harvion: http://right.example/b", "navigate http://right.example/b"},
               {"Done", "navigate /"},
               {"", "navigate /"}};
  for (const auto& v : views) {
    browser->SetStatusText(v.status);
    ASSERT_TRUE(browser->Show());
    EXPECT_EQ(m_heard.Take("navigate").substr(0, std::string(v.shown).size()), v.shown) << v.status;
  }
  ASSERT_TRUE(browser->AddPage());
  Sync(*browser);
  EXPECT_NE(Messages().find("In plugin mode use drag and drop"), std::string::npos) << Messages();

  ASSERT_TRUE(browser->Detach());
  EXPECT_EQ(m_heard.Take("shown"), "shown 0");
  EXPECT_EQ(browser->Attached(), false);
  // Detached, a show request reads the address field and opens the frameset.
  ASSERT_TRUE(browser->Show());
  EXPECT_NE(m_heard.Take("navigate").find("/News/FRM"), std::string::npos);
  ASSERT_TRUE(browser->Attach());
  EXPECT_EQ(m_heard.Take("shown"), "shown 1");
  Quit(*browser);
}

TEST_F(BrowserLink, adding_the_current_page_strips_the_browser_name_and_refuses_what_it_cannot_add) {
  const struct {
    BrowserKind kind;
    const char* address;
    const char* title;
    const char* said;
  } pages[] = {
      {BrowserKind::explorer, "http://a.example/", "Alpha - news", "The page: Alpha - news / from http://a.example/"},
      {BrowserKind::netscape, "http://b.example/", "Beta", "The page: Beta / from http://b.example/"},
      {BrowserKind::explorer, "http://c.example/", "", "The page: http://c.example/ / from http://c.example/"},
      {BrowserKind::explorer, "", "Blank", "The current page contains no data"},
      {BrowserKind::netscape, "file:///etc/hosts", "Hosts", "For viewing local files you can use your browser."},
      {BrowserKind::explorer, "C:/page.htm", "Drive", "For viewing local files you can use your browser."},
  };
  for (const auto& p : pages) {
    auto browser = Component(p.kind);
    browser->SetPage(p.address, p.title);
    std::string error;
    ASSERT_TRUE(browser->Start("News", StartMode::addPage, error)) << error;
    Sync(*browser);
    EXPECT_NE(Messages().find(p.said), std::string::npos) << p.said << "\n" << Messages();
    Quit(*browser);
  }
  const std::string tree = Tree();
  EXPECT_NE(tree.find("\"Alpha - news\" <http://a.example/>"), std::string::npos) << tree;
  EXPECT_NE(tree.find("\"Beta\" <http://b.example/>"), std::string::npos) << tree;
  EXPECT_EQ(tree.find("hosts"), std::string::npos) << tree;
}

TEST_F(BrowserLink, agents_open_by_name_or_new_and_a_name_too_long_is_refused) {
  ASSERT_EQ(Harvion("new Other"), 0);
  auto browser = Component(BrowserKind::netscape);
  std::string error;
  ASSERT_TRUE(browser->Start("News", StartMode::attach, error)) << error;
  const struct {
    std::string name;
    std::string open;
  } opens[] = {{"Other", "Other"}, {"?", "New Agent"}, {"News", "News"}, {std::string(512, 'n'), "News"}};
  for (const auto& o : opens) {
    // A name that does not fit the shared block is refused, never cut.
    EXPECT_EQ(browser->OpenAgent(o.name), o.name.size() < 512) << o.name.size();
    Sync(*browser);
    EXPECT_EQ(browser->OpenAgentName(), o.open) << o.name.size();
  }
  Quit(*browser);
  EXPECT_EQ(Harvion("tree \"New Agent\""), 0);
}

TEST_F(BrowserLink, hvmain_goes_on_when_its_component_dies) {
  // The component is hvplugin in a process of its own, killed mid-conversation.
  const pid_t plugin = ::fork();
  if (plugin == 0) {
    const std::string log = m_home / "messages.log";
    ::execl(HV_HVPLUGIN, HV_HVPLUGIN, "--message-log", log.c_str(), "open", "News", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  HWND frame = nullptr;
  for (int i = 0; i < 400 && !frame; ++i, std::this_thread::sleep_for(25ms)) frame = FindWindow(kPluginFrameClass, nullptr);
  ASSERT_NE(frame, nullptr);
  LRESULT attached = 0;
  ASSERT_TRUE(SendMessageTimeout(frame, WM_HVP_QUERY_ATTACHED, 0, 0, 10000, &attached));
  ::kill(plugin, SIGKILL);
  ::waitpid(plugin, nullptr, 0);

  // Every message that makes hvmain reach the browser now goes nowhere.
  for (const UINT message : {WM_HVP_DETACH, WM_HVP_ATTACH, WM_HVP_SHOW, WM_HVP_ADD_PAGE, WM_HVP_OPEN_AGENT})
    EXPECT_TRUE(PostMessage(frame, message, 0, 0)) << message;
  EXPECT_TRUE(SendMessageTimeout(frame, WM_HVP_QUERY_ATTACHED, 0, 0, 10000, &attached));
  char name[64] = {};
  EXPECT_EQ(SendMessage(frame, WM_GETTEXT, sizeof name, reinterpret_cast<LPARAM>(name)), 4);
  EXPECT_STREQ(name, "News");
  const pid_t hvmain = GetWindowProcessId(frame);
  ASSERT_TRUE(PostMessage(frame, WM_HVP_QUIT, 0, 0));
  for (int i = 0; i < 400 && ::kill(hvmain, 0) == 0; ++i) std::this_thread::sleep_for(25ms);
  EXPECT_NE(::kill(hvmain, 0), 0) << "hvmain ended on quit";
}

TEST_F(BrowserLink, a_start_for_no_window_or_no_browser_ends_at_once) {
  const HWND plain = CreateMessageTarget([](UINT, WPARAM, LPARAM) {});
  ASSERT_TRUE(PublishWindow(plain, "NotABrowser", "Plain"));
  const struct {
    std::string window;
    const char* said;
  } starts[] = {{"12345", "is not a window"},
                {std::to_string(reinterpret_cast<std::uintptr_t>(plain)), "HVMAIN. browser not recognized"}};
  for (const auto& s : starts) {
    const std::string out = m_home / "start.txt";
    const int status = std::system(
        (std::string(HV_HVMAIN) + " --no-splash --browser-window " + s.window + " >" + out + " 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << s.window;
    EXPECT_NE(ReadText(out).find(s.said), std::string::npos) << ReadText(out);
  }
  DestroyMessageTarget(plain);
}

}  // namespace
