// The browser window as hvmain reaches it: recognised by its child windows,
// its address, title, status bar and agent list read through messages, and
// pages shown the way each kind takes them. The component runs in this
// process; the messages take the same path as from another one.
#include "shell/plugin_browser_host.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>
#include <utility>

#include "browser_component.h"
#include "harvion/child_window.h"
#include "harvion/message_target.h"
#include "shell/browser_recognition.h"

namespace {

using hvside::BrowserComponent;

class PluginBrowserHost : public ::testing::Test {
 protected:
  PluginBrowserHost() { qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit()); }
  ~PluginBrowserHost() override {
    for (HWND window : m_windows) DestroyMessageTarget(window);
  }

  BrowserComponent::Callbacks Recording() {
    return {[this](const std::string& url) {
              std::lock_guard lock(m_mutex);
              m_navigated = url;
              m_changed.notify_all();
            },
            nullptr, nullptr};
  }
  std::string Navigated() {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return !m_navigated.empty(); });
    return std::exchange(m_navigated, {});
  }
  // A listed window with a parent and an identifier.
  HWND Window(const char* className, HWND parent, int id, bool visible = true, bool menu = false) {
    const HWND window = CreateMessageTarget([](UINT, WPARAM, LPARAM) {});
    m_windows.push_back(window);
    EXPECT_TRUE(PublishWindow(window, className, parent ? "" : "Window", WindowStyle{parent, id, visible, menu}));
    return window;
  }

  QTemporaryDir m_runtime;
  std::vector<HWND> m_windows;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::string m_navigated;
};

TEST_F(PluginBrowserHost, each_kind_is_read_and_told_to_navigate_its_own_way) {
  const struct {
    hvside::BrowserKind side;
    hvui::BrowserKind kind;
    const char* title;
    const char* status;  // only one kind has a status bar to read
  } kinds[] = {{hvside::BrowserKind::explorer, hvui::BrowserKind::InternetExplorer, "Page - Internet Explorer",
                "http://right.example/"},
               {hvside::BrowserKind::netscape, hvui::BrowserKind::Netscape, "Netscape - [Page]", ""}};
  for (const auto& k : kinds) {
    BrowserComponent browser(k.side, Recording());
    const auto found = hvui::RecognizeBrowser(browser.BrowserWindow());
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->kind, k.kind);
    hvui::CPluginBrowserHost host(browser.BrowserWindow(), found->kind, found->locationEdit);
    browser.SetPage("http://page.example/", "Page");
    browser.SetStatusText("HARVION: http://right.example/");
    EXPECT_EQ(host.CurrentLocation(), "http://page.example/");
    EXPECT_EQ(host.CurrentPageTitle(), k.title);
    EXPECT_EQ(host.StatusBarLocation(), k.status);

    const QString longest = "http://long.example/" + QString(4000, 'a');
    for (const QString& target : {QString("/tmp/agent/FRM1.HTM"), longest}) {
      ASSERT_TRUE(host.Navigate(target));
      EXPECT_EQ(Navigated(), target.toStdString());
    }
  }
}

TEST_F(PluginBrowserHost, the_agent_list_keeps_its_places_and_stops_at_99) {
  BrowserComponent browser(hvside::BrowserKind::explorer, Recording());
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) names.push_back("Agent " + std::to_string(i));
  names[1] = std::string(300, 'x');
  browser.SetAgents(names);
  const auto found = hvui::RecognizeBrowser(browser.BrowserWindow());
  ASSERT_TRUE(found.has_value());
  hvui::CPluginBrowserHost host(browser.BrowserWindow(), found->kind, found->locationEdit);
  const auto entries = hvui::AgentMenuEntries(host.AgentListEntries());
  ASSERT_EQ(entries.size(), 98u) << "99 read, the one too long not offered";
  EXPECT_EQ(entries[0].command, 900);
  EXPECT_EQ(entries[1].command, 902);
  EXPECT_EQ(entries[1].name, "Agent 2");
  EXPECT_EQ(entries.back().name, "Agent 98");
}

TEST_F(PluginBrowserHost, windows_missing_a_link_of_either_chain_are_no_browser) {
  enum Shape { netscapeWhole, netscapeMarkerHidden, netscapeChainCut, explorerWhole, explorerNoMenu, explorerClassLonger, explorerChainCut };
  const struct {
    Shape shape;
    bool recognised;
  } shapes[] = {{netscapeWhole, true},        {netscapeMarkerHidden, false}, {netscapeChainCut, false},
                {explorerWhole, true},        {explorerNoMenu, false},       {explorerClassLonger, false},
                {explorerChainCut, false}};
  for (const auto& s : shapes) {
    const bool explorer = s.shape >= explorerWhole;
    const char* className = s.shape == explorerClassLonger ? "IEFrameX" : explorer ? "IEFrame" : "Browser";
    HWND top = Window(className, nullptr, 0, true, s.shape != explorerNoMenu);
    HWND at = top;
    std::vector<int> chain = explorer ? std::vector<int>{40965, 40965, 40962, 40962, 40962} : std::vector<int>{112, 25000, 1001};
    if (s.shape == netscapeChainCut || s.shape == explorerChainCut) chain.erase(chain.begin() + 1);
    if (!explorer) Window("Marker", top, 59519, s.shape != netscapeMarkerHidden);
    for (const int id : chain) at = Window("Pane", at, id);
    const auto found = hvui::RecognizeBrowser(top);
    EXPECT_EQ(found.has_value(), s.recognised) << s.shape;
    if (found) {
      EXPECT_EQ(found->locationEdit, at) << s.shape;
    }
  }
}

}  // namespace
