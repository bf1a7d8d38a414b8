// An agent over https: nginx with TLS and a CA the test makes.
#include "retrieval/end_to_end.h"

namespace {

using namespace hvtest::e2e;

// nginx with TLS from a CA the test makes and trusts through the CA file
// setting; plain http: sent to its port is redirected to https:, as sites do.
class SecureSite : public RetrievalEndToEnd {
 protected:
  using Certificates = hvtest::TestCertificates;
  void SetUp() override {
    RetrievalEndToEnd::SetUp();
    if (IsSkipped()) return;
    if (Certificates::Program().empty()) GTEST_SKIP() << "no openssl command";
    m_certificates = std::make_unique<Certificates>(Path("certificates"));
    ASSERT_TRUE(m_certificates->Made()) << m_certificates->Messages();
    EngineApp::Instance().SetCaFile(m_certificates->CaFile());
  }
  void TearDown() override {
    EngineApp::Instance().SetCaFile("");
    RetrievalEndToEnd::TearDown();
  }
  void ServeTls(Certificates::Server certificate) {
    NginxServer::Options options;
    options.root = m_site->Root();
    options.accessLog = options.keepAlive = options.logConnection = true;
    options.sslCertificate = m_certificates->CertFile(certificate);
    options.sslKey = m_certificates->KeyFile(certificate);
    options.serverConfig = "    error_page 497 =301 https://$host:$server_port$request_uri;\n";
    ASSERT_TRUE(m_nginx->Start(options)) << m_nginx->Messages();
  }
  std::string PlainUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_nginx->Port()) + "/" + path;
  }
  // The connections the answers over TLS came on (the redirects of plain
  // http: requests are the others).
  static std::size_t SecureConnections(const std::vector<std::string>& lines) {
    std::set<std::string> numbers;
    for (const std::string& line : lines)
      if (line.find(" 301 ") == std::string::npos) numbers.insert(line.substr(line.rfind(' ') + 1));
    return numbers.size();
  }
  static unsigned long TwoLevels() {
    return CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 2,
                                    CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 0, 0);
  }

  std::unique_ptr<Certificates> m_certificates;
};

TEST_F(SecureSite, an_http_site_moved_to_https_is_mirrored_from_there_and_updated_with_conditional_requests) {
  ServeTls(Certificates::good);
  ASSERT_EQ(CEngineSettings::Change("threads", "1"), "");
  m_site->WritePage("index.html", Page("Home", {"a.html", Url("b.html")}, {"logo.gif"}));
  m_site->WritePage("a.html", Page("A", {"index.html", PlainUrl("b.html")}));
  m_site->WritePage("b.html", Page("B", {}, {}, "first text"));
  m_site->Write("logo.gif", SiteBuilder::Gif());
  CSafNode* agent = NewAgent("Secure");
  ASSERT_NE(agent, nullptr);
  CSafNode* site = CSafClient::CreateHTMLNode(agent, "Site", PlainUrl("index.html").c_str(), 0);
  ASSERT_NE(site, nullptr);
  ASSERT_EQ(site->SetValue(itemLoadInfo, TwoLevels()), 1);
  ASSERT_TRUE(RunAndWait(agent));

  const auto records = Records();
  for (const char* path : {"index.html", "a.html", "b.html", "logo.gif"}) EXPECT_TRUE(Stored(records, path)) << path;
  EXPECT_EQ(ReadAll(StoredPath(records.at(Url("logo.gif")))), SiteBuilder::Gif());
  // The absolute https: link became a link to the stored copy.
  EXPECT_EQ(ReadAll(StoredPath(records.at(Url("index.html")))).find("HREF=\"" + Url("b.html")), std::string::npos);
  ExpectLinksResolve();
  const auto first = Requests();
  EXPECT_EQ(CountRequests(first, "index.html", "301"), 1);  // the http: address, redirected
  EXPECT_EQ(CountRequests(first, "index.html", "200"), 1);
  EXPECT_EQ(CountRequests(first, "b.html", "200"), 1);
  EXPECT_EQ(SecureConnections(first), 1u) << "the one worker's requests over one kept connection";

  m_site->m_tDate = std::time(nullptr) + 60;  // newer than the stored copy
  m_site->WritePage("b.html", Page("B", {}, {}, "second text"));
  ASSERT_TRUE(RunAndWait(agent));
  const auto second = Requests(first.size());
  EXPECT_EQ(CountRequests(second, "a.html", "304"), 1);
  EXPECT_EQ(CountRequests(second, "logo.gif", "304"), 1);
  EXPECT_EQ(CountRequests(second, "b.html", "200"), 1);
  EXPECT_NE(ReadAll(StoredPath(Records().at(Url("b.html")))).find("second text"), std::string::npos);
  EXPECT_EQ(SecureConnections(second), 1u);
}

TEST_F(SecureSite, a_certificate_that_fails_its_check_fails_the_page_with_its_reason_and_stores_nothing) {
  m_site->WritePage("index.html", Page("Home", {"a.html"}));
  m_site->WritePage("a.html", Page("A"));
  const struct {
    Certificates::Server certificate;
    const char* failure;
  } cases[] = {
      {Certificates::otherHost, "certificate is for another host"},
      {Certificates::expired, "certificate expired"},
      {Certificates::untrusted, "certificate not trusted: unable to get local issuer certificate"},
  };
  for (const auto& c : cases) {
    ServeTls(c.certificate);
    CSafNode* agent = NewAgent(("Refused " + std::to_string(c.certificate)).c_str());
    ASSERT_NE(agent, nullptr);
    AddLocation(agent, "Site", "index.html", TwoLevels());
    ASSERT_TRUE(RunAndWait(agent));
    const auto records = Records();
    ASSERT_EQ(records.count(Url("index.html")), 1u) << c.failure;
    const HvCacheRecord& page = records.at(Url("index.html"));
    EXPECT_EQ(page.statusText, c.failure);
    EXPECT_NE(page.state, 3) << c.failure;
    EXPECT_EQ(records.count(Url("a.html")), 0u) << c.failure;
    EXPECT_TRUE(Requests().empty()) << c.failure;  // no request went out
    m_nginx->Stop();
  }
}

}  // namespace
