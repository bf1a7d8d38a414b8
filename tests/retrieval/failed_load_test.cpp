// A load that fails keeps the copy its page had: the stored file stays byte
// for byte, the record says why, and the run's report lists the page as
// failed with that reason. Only a server saying the page is gone takes the
// copy away. Every case is a location of one agent on a server of its own,
// stored by a first run and failing in a second.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "engine/agent/agent_manager.h"
#include "engine/settings/engine_app.h"
#include "harvion/cache_view.h"
#include "harvion/harvion.h"
#include "support/script_server.h"
#include "support/test_home.h"
#include "tools/headless/change_report.h"

namespace {

using hv::test::DeadPort;
using hv::test::ScriptServer;
using namespace std::chrono_literals;

const std::string kHtml = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

ScriptServer::Script Answer(const std::string& bytes) {
  return {ScriptServer::ReadRequest(), ScriptServer::Send(bytes), ScriptServer::Close()};
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string StatusOf(const HvCacheRecord& r) {
  return std::to_string(r.statusCode) + (r.statusText.empty() ? "" : " " + r.statusText);
}

class FailedLoad : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    EngineApp::Instance().m_nTimeout = 1;  // a silent server fails in a second
    m_agent = CSafClient::CreateAgent("Failures");
    ASSERT_NE(m_agent, nullptr);
  }

  void AddLocation(const std::string& url, int loadDetail) {
    CSafNode* node = CSafClient::CreateHTMLNode(m_agent, url.c_str(), url.c_str(), 0);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(node->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(loadDetail, 0, 1, 2, 0, 0, 0)));
  }

  void RunAgent() {
    const int ends = m_ui->CountLog("Progress 2");
    ASSERT_EQ(m_agent->Run(), 1);
    if (m_ui->WaitForLog("Progress 2", ends + 1, 30s)) return;
    CSafClient::HTTPShutdown();
    m_ui->WaitUntil([](const std::vector<std::string>& log) { return !log.empty() && log.back() == "Progress 3"; },
                    30s);
    FAIL() << "the run did not end";
  }

  static HvCacheRecord Record(const std::string& url) {
    for (HvCacheRecord& r : GetCacheRecords())
      if (r.address == url) return r;
    return {};
  }

  std::string CopyOf(const HvCacheRecord& r) const {
    return r.localFile.empty() ? std::string() : ReadAll(Folder() + "/" + r.localFile);
  }
  static std::string Folder() { return CAgentManager::Instance().AgentFolderPath("Failures"); }

  CSafNode* m_agent = nullptr;
};

TEST_F(FailedLoad, a_failed_load_keeps_the_copy_and_is_reported_with_its_reason) {
  DeadPort refusing(DeadPort::refusing);
  const std::string nowhere = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/x.html";
  const std::string secureNowhere = "https://127.0.0.1:" + std::to_string(refusing.Port()) + "/x.html";
  struct Case {
    const char* name;
    ScriptServer::Script second;  // the answer of the second run
    std::string reason;           // the report's, and the record's status
    bool keepsCopy = true;
  };
  // An empty second script: nobody listens any more.
  const std::vector<Case> cases = {
      {"refused", {}, "could not connect (connection refused)"},
      {"silent", {ScriptServer::ReadRequest(), ScriptServer::WaitRelease()}, "no answer within the time-out"},
      {"closed before answering", {ScriptServer::ReadRequest(), ScriptServer::Close()}, "closed without an answer"},
      {"reset before answering", {ScriptServer::ReadRequest(), ScriptServer::Reset()},
       "connection broken before an answer"},
      {"HTTP/0.9", Answer("<html><p>bare page</p></html>"), "not an HTTP answer"},
      {"noise with a blank line", Answer("garbage\r\n\r\n<p>x</p>"), "not an HTTP answer"},
      {"headers over 64 KiB", {ScriptServer::ReadRequest(), ScriptServer::SendForever("HTTP/1.0 200 OK\r\n")},
       "header block too long"},
      {"reset mid-body", {ScriptServer::ReadRequest(), ScriptServer::Send(kHtml + "<p>new but"), ScriptServer::Reset()},
       "the answer was cut short"},
      {"closed short of its length",
       Answer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 500\r\n\r\n<p>cut"),
       "the answer was cut short"},
      {"redirect to a failing page", Answer("HTTP/1.0 302 Found\r\nLocation: " + nowhere + "\r\n\r\n"),
       "could not connect (connection refused)"},
      {"redirect to a failing https page", Answer("HTTP/1.0 301 Moved\r\nLocation: " + secureNowhere + "\r\n\r\n"),
       "could not connect (connection refused)"},
      {"redirect to file:", Answer("HTTP/1.0 301 Moved\r\nLocation: file:///etc/passwd\r\n\r\n"),
       "redirected without a web address"},
      {"redirect to javascript:", Answer("HTTP/1.0 302 Found\r\nLocation: javascript:alert(1)\r\n\r\n"),
       "redirected without a web address"},
      {"redirect to data:", Answer("HTTP/1.0 302 Found\r\nLocation: data:text/html,x\r\n\r\n"),
       "redirected without a web address"},
      {"redirect to ftp:", Answer("HTTP/1.0 307 Temporary\r\nLocation: ftp://127.0.0.1/x\r\n\r\n"),
       "redirected without a web address"},
      {"forbidden", Answer("HTTP/1.0 403 Forbidden\r\nContent-Type: text/html\r\n\r\nno"), "403 Forbidden"},
      {"server error", Answer("HTTP/1.0 500 Oops\r\n\r\n"), "500 Oops"},
      {"gone", Answer("HTTP/1.0 404 Not Found\r\n\r\n"), "404 Not Found", false},
  };
  std::vector<std::unique_ptr<ScriptServer>> servers;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    servers.push_back(std::make_unique<ScriptServer>(
        Answer(kHtml + "<html><title>Good</title><p>good copy " + std::to_string(i) + "</p></html>")));
    AddLocation(servers.back()->Url("/page.html"), 1);
  }
  RunAgent();
  std::vector<std::string> copies;
  for (const auto& server : servers) {
    const HvCacheRecord r = Record(server->Url("/page.html"));
    ASSERT_EQ(r.state, 3) << StatusOf(r);
    copies.push_back(CopyOf(r));
  }

  std::vector<std::string> urls;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    urls.push_back(servers[i]->Url("/page.html"));
    if (cases[i].second.empty())
      servers[i].reset();
    else
      servers[i]->SetScript(cases[i].second);
  }
  const std::vector<HvCacheRecord> before = GetCacheRecords();
  const std::uint32_t runStart = harvion::RunStartAfter(harvion::LatestTimeStamp(before));
  RunAgent();
  for (const auto& server : servers)
    if (server) server->Release();
  std::ostringstream report;
  harvion::PrintChangeReport(report, harvion::ClassifyChanges(before, GetCacheRecords(), runStart), Folder(), "",
                             "");

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const HvCacheRecord r = Record(urls[i]);
    ASSERT_FALSE(r.address.empty()) << "the page's record left its address";
    const std::string line = (c.keepsCopy ? "failed  " + urls[i] + "  " + Folder() + "/" + r.localFile
                                          : "gone  " + urls[i]) +
                             "  (" + c.reason + ")\n";
    EXPECT_NE(report.str().find(line), std::string::npos) << line << "not in\n" << report.str();
    if (c.keepsCopy) {
      EXPECT_EQ(r.state, 3);
      EXPECT_EQ(CopyOf(r), copies[i]);
      EXPECT_EQ(r.title, "Good");
    } else {
      EXPECT_EQ(r.state, 0);
      EXPECT_FALSE(std::filesystem::exists(Folder() + "/" + r.localFile));
    }
  }
}

TEST_F(FailedLoad, every_redirect_status_is_followed) {
  ScriptServer target(Answer(kHtml + "<p>moved here</p>"));
  std::vector<std::unique_ptr<ScriptServer>> servers;
  for (const int code : {301, 302, 303, 307, 308}) {
    const std::string to = target.Url("/to" + std::to_string(code));
    servers.push_back(std::make_unique<ScriptServer>(
        Answer("HTTP/1.0 " + std::to_string(code) + " Moved\r\nLocation: " + to + "\r\n\r\n")));
    AddLocation(servers.back()->Url("/from"), 1);
  }
  RunAgent();
  for (const int code : {301, 302, 303, 307, 308}) {
    SCOPED_TRACE(code);
    const HvCacheRecord r = Record(target.Url("/to" + std::to_string(code)));
    EXPECT_EQ(r.state, 3) << StatusOf(r);
    EXPECT_EQ(CopyOf(r), "<p>moved here</p>");
  }
}

TEST_F(FailedLoad, a_cycle_of_redirects_ends_after_twenty) {
  ScriptServer a({}), b({});
  a.SetScript(Answer("HTTP/1.0 302 Found\r\nLocation: " + b.Url("/b") + "\r\n\r\n"));
  b.SetScript(Answer("HTTP/1.0 302 Found\r\nLocation: " + a.Url("/a") + "\r\n\r\n"));
  AddLocation(a.Url("/a"), 1);
  RunAgent();
  EXPECT_EQ(a.Requests().size() + b.Requests().size(), 21u);
  EXPECT_EQ(StatusOf(Record(a.Url("/a"))), "0 too many redirects");
}

TEST_F(FailedLoad, an_object_whose_copy_cannot_be_made_fails_with_its_reason) {
  ScriptServer image(Answer("HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n\r\nGIF89a"));
  ScriptServer server(Answer(kHtml + "<img src=\"" + image.Url("/i.gif") + "\">"));
  AddLocation(server.Url("/"), 2);
  RunAgent();
  const HvCacheRecord stored = Record(image.Url("/i.gif"));
  ASSERT_EQ(stored.state, 3);
  // Where the object's copy goes, there is a folder now.
  const std::string path = Folder() + "/" + stored.localFile;
  ASSERT_TRUE(std::filesystem::remove(path));
  ASSERT_TRUE(std::filesystem::create_directory(path));
  RunAgent();
  const HvCacheRecord failed = Record(image.Url("/i.gif"));
  EXPECT_EQ(failed.state, 0) << "the object is left as being retrieved";
  EXPECT_EQ(StatusOf(failed), "0 the copy could not be written");
}

}  // namespace
