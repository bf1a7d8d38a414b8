// The fixture of the tests that run agents against nginx over generated
// sites: the server, the site, the agent and what to read back.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/cache/cache.h"
#include "engine/http/authen.h"
#include "engine/http/password_store.h"
#include "engine/settings/engine_app.h"
#include "engine/settings/exception_entry.h"
#include "engine/settings/named_array.h"
#include "engine/settings/search_engine_list.h"
#include "engine/settings/three_string_entry.h"
#include "harvion/cache_view.h"
#include "harvion/run_limits.h"
#include "harvion/settings.h"
#include "platform/files/file_system.h"
#include "support/nginx_server.h"
#include "support/site_builder.h"
#include "support/test_certificates.h"
#include "support/test_home.h"

namespace hvtest::e2e {

using hvtest::NginxServer;
using hvtest::SiteBuilder;
using Page = hvtest::SiteBuilder::Page;
using namespace std::chrono_literals;

constexpr auto kRunLimit = 30s;

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool IsRunEnd(const std::string& entry) { return entry == "Progress 2" || entry == "Progress 3"; }

class RetrievalEndToEnd : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    if (NginxServer::Program().empty()) GTEST_SKIP() << "nginx is not installed (scripts/setup.sh installs it)";
    m_nginx = std::make_unique<NginxServer>();
    ASSERT_FALSE(m_nginx->Dir().empty());
    m_site = std::make_unique<SiteBuilder>(m_nginx->Path("site"));
    // Dated an hour back, so a page changed in the test is newer than any stored copy.
    m_site->m_tDate = std::time(nullptr) - 3600;
  }

  void TearDown() override {
    // A run a failed test left going ends before its agent is closed.
    const auto going = [](const std::vector<std::string>& log) {
      return std::count(log.begin(), log.end(), "Progress 0") > std::count_if(log.begin(), log.end(), IsRunEnd);
    };
    if (going(m_ui->LogCopy())) {
      CSafClient::HTTPShutdown();
      EXPECT_TRUE(m_ui->WaitUntil([&](const std::vector<std::string>& log) { return !going(log); }, kRunLimit));
    }
    m_nginx.reset();
    TestHome::TearDown();
  }

  void Serve(const std::string& serverConfig = {}) {
    NginxServer::Options options;
    options.root = m_site->Root();
    options.serverConfig = serverConfig;
    options.accessLog = true;
    // Keeping connections and compressing as nginx does when asked to.
    if (m_bKeepingServer) {
      options.serverConfig += "    gzip on;\n    gzip_min_length 1;\n";
      options.keepAlive = options.logConnection = true;
    }
    ASSERT_TRUE(m_nginx->Start(options)) << m_nginx->Messages();
  }

  std::string Url(const std::string& path) const { return m_nginx->BaseUrl() + path; }

  CSafNode* NewAgent(const char* name) {
    m_agentName = name;
    CSafNode* agent = CSafClient::CreateAgent(name);
    EXPECT_NE(agent, nullptr);
    return agent;
  }
  static CAgentAnchor* Agent() { return CAgentManager::Instance().Agent(); }

  CSafNode* AddLocation(CSafNode* parent, const char* name, const std::string& path, unsigned long loadInfo) {
    CSafNode* node = CSafClient::CreateHTMLNode(parent, name, Url(path).c_str(), 0);
    EXPECT_NE(node, nullptr);
    if (node) {
      EXPECT_EQ(node->SetValue(itemLoadInfo, loadInfo), 1);
    }
    return node;
  }

  // Runs the node and waits for the server's end of run; false when it did
  // not start or did not end within the limit.
  bool RunAndWait(CSafNode* node) {
    const auto ends = [](const std::vector<std::string>& log) {
      return std::count_if(log.begin(), log.end(), IsRunEnd);
    };
    const auto before = ends(m_ui->LogCopy());
    if (node->Run() != 1) {
      ADD_FAILURE() << "Run did not start";
      return false;
    }
    if (m_ui->WaitUntil([&](const std::vector<std::string>& log) { return ends(log) > before; }, kRunLimit))
      return true;
    ADD_FAILURE() << "the run did not end within " << kRunLimit.count() << " s";
    CSafClient::HTTPShutdown();
    m_ui->WaitUntil([&](const std::vector<std::string>& log) { return ends(log) > before; }, kRunLimit);
    return false;
  }

  std::map<std::string, HvCacheRecord> Records() const {
    std::map<std::string, HvCacheRecord> records;
    for (HvCacheRecord& record : GetCacheRecords()) records[record.address] = std::move(record);
    return records;
  }
  std::string StoredPath(const HvCacheRecord& record) const {
    return CAgentManager::Instance().AgentFolderPath(m_agentName) + "/" + record.localFile;
  }
  bool Stored(const std::map<std::string, HvCacheRecord>& records, const std::string& path) const {
    const auto it = records.find(Url(path));
    return it != records.end() && it->second.state == 3 && !it->second.localFile.empty() &&
           ::access(StoredPath(it->second).c_str(), F_OK) == 0;
  }

  // "METHOD URI STATUS BYTES" lines from the first-th on.
  std::vector<std::string> Requests(std::size_t first = 0) const {
    std::vector<std::string> lines = m_nginx->AccessLog();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(first, lines.size())));
    return lines;
  }
  static int CountRequests(const std::vector<std::string>& lines, const std::string& uri,
                           const std::string& status = {}) {
    const std::string prefix = "GET /" + uri + " " + status;
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }

  // Every HREF and SRC of every stored page names a file of the agent folder,
  // the placeholder image or an absolute address, as the run left them.
  void ExpectLinksResolve() const {
    const std::string folder = CAgentManager::Instance().AgentFolderPath(m_agentName);
    const std::regex attribute("(HREF|SRC)=\"([^\"]*)\"", std::regex::icase);
    const std::regex page("\\.html?$", std::regex::icase);
    int pages = 0;
    for (const auto& [address, record] : Records()) {
      if (record.state != 3 || !std::regex_search(record.localFile, page)) continue;
      ++pages;
      const std::string text = ReadAll(StoredPath(record));
      for (std::sregex_iterator it(text.begin(), text.end(), attribute), end; it != end; ++it) {
        std::string value = (*it)[2];
        value = value.substr(0, value.find('#'));
        if (value.rfind("http://", 0) == 0 || value.rfind("https://", 0) == 0 || value == "hvempty.gif") continue;
        EXPECT_EQ(::access((folder + "/" + value).c_str(), F_OK), 0)
            << address << " links to " << value << ", which is neither stored nor an address";
      }
    }
    EXPECT_GT(pages, 0) << "no stored page to look at";
  }

  std::unique_ptr<NginxServer> m_nginx;
  std::unique_ptr<SiteBuilder> m_site;
  std::string m_agentName;
  bool m_bKeepingServer = false;
};

}  // namespace hvtest::e2e
