// A frame with a local nginx serving a site the test writes, and runs of
// the open agent driven through the frame's commands.
#pragma once

#include <ctime>
#include <memory>
#include <string>

#include "harvion/saf_node.h"
#include "shell/plugin_client.h"
#include "frame_fixture.h"
#include "support/nginx_server.h"
#include "support/site_builder.h"

namespace hvuitest {

class PageRun : public hvuitest::FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    if (hvtest::NginxServer::Program().empty()) GTEST_SKIP() << "nginx is not installed (scripts/setup.sh installs it)";
    m_nginx = std::make_unique<hvtest::NginxServer>();
    m_site = std::make_unique<hvtest::SiteBuilder>(m_nginx->Path("site"));
    m_site->m_tDate = std::time(nullptr) - 3600;
  }
  void TearDown() override {
    if (m_frame->Running()) {
      hvui::PluginClient::HTTPShutdown();
      WaitFor([&] { return !m_frame->Running(); }, 60000);
    }
    FrameTest::TearDown();
    m_nginx.reset();
  }
  void Serve() {
    hvtest::NginxServer::Options options;
    options.root = m_site->Root();
    options.keepAlive = true;
    ASSERT_TRUE(m_nginx->Start(options)) << m_nginx->Messages();
  }
  // The location, added to the agent's root as the user's own item.
  void AddLocation(const char* name, const std::string& path) { AddLocationAt(name, m_nginx->BaseUrl() + path); }
  void AddLocationAt(const char* name, const std::string& url) {
    bool added = false;
    Tree().Bridge().WithNode(hvui::CAgentTreeView::IdOf(Root()), [&](CSafNode& node) {
      added = hvui::PluginClient::CreateHTMLNode(&node, name, url.c_str(), 0) != nullptr;
    });
    ASSERT_TRUE(added);
    ASSERT_TRUE(WaitFor([&] { return Child(Root(), name) != nullptr; }));
  }
  bool RunToEnd(int limitMs = 60000) {
    Tree().setCurrentItem(Root());
    m_frame->OnCommand(hvui::kCmdStartStop);
    if (!m_frame->Running()) return false;
    return WaitFor([&] { return !m_frame->Running(); }, limitMs);
  }
  static int Image(const QTreeWidgetItem* item) { return item->data(0, hvui::CAgentTreeView::kImageRole).toInt(); }

  std::unique_ptr<hvtest::NginxServer> m_nginx;
  std::unique_ptr<hvtest::SiteBuilder> m_site;
};

}  // namespace hvuitest
