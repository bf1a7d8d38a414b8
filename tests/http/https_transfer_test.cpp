// Page transfers over TLS: the certificate checks and their words, the
// failures of a plain connection as they look through TLS, a stop in the
// handshake, and the tunnel through a proxy. The servers are the script
// server behind a TLS relay, with certificates made for the test.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/cache/page_descr.h"
#include "engine/http/connect_target.h"
#include "engine/http/http_async_client.h"
#include "engine/http/http_async_server.h"
#include "engine/http/http_request_owner.h"
#include "engine/http/transfer_failure.h"
#include "engine/settings/engine_app.h"
#include "platform/threads/event.h"
#include "support/relay_server.h"
#include "support/script_server.h"
#include "support/test_certificates.h"
#include "support/test_home.h"

namespace {

using hv::test::RelayServer;
using hv::test::ScriptServer;
using hvtest::TestCertificates;
using Clock = std::chrono::steady_clock;

// A location that records how its transfer ended.
class Owner : public CHTTPRequestOwner {
 public:
  explicit Owner(std::string address) : m_page(std::move(address)) {}
  CPageDescr* RequestPage() override { return &m_page; }
  void GetAcceptTypes(std::string& types) override { types = "text/*"; }
  std::uint32_t GetIfModifiedSince() override { return 0; }
  int GetAuthorization(std::string&) override { return 1; }
  int OnHeaders() override { return 0; }
  int OnData(const char* data, int length) override {
    {
      std::lock_guard lock(m_mutex);
      m_body.append(data, static_cast<std::size_t>(length));
    }
    if (m_onBody) m_onBody();
    return 0;
  }
  void OnRequestQueued() override {}
  void OnRequestStarted() override {}
  void OnRequestFailureDetail(const std::string& detail) override { m_detail = detail; }
  void OnRequestFinished(int status) override { m_statuses.push_back(status); }
  void OnRequestFreed(CHTTPAsyncClient*) override {
    std::lock_guard lock(m_mutex);
    m_bFreed = true;
    m_freed.notify_all();
  }
  bool WaitFreed() {
    std::unique_lock lock(m_mutex);
    return m_freed.wait_for(lock, std::chrono::seconds(20), [&] { return m_bFreed; });
  }
  // What the page's record would show.
  std::string Failure() const { return hv::http::TransferFailureText(m_statuses.at(0), m_detail); }

  CPageDescr m_page;
  std::function<void()> m_onBody;
  std::vector<int> m_statuses;
  std::string m_detail, m_body;

 private:
  std::mutex m_mutex;
  std::condition_variable m_freed;
  bool m_bFreed = false;
};

class HttpsTransfer : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    if (TestCertificates::Program().empty()) GTEST_SKIP() << "no openssl command";
    m_certificates = std::make_unique<TestCertificates>(Path("certificates"));
    ASSERT_TRUE(m_certificates->Made()) << m_certificates->Messages();
    EngineApp::Instance().SetCaFile(m_certificates->CaFile());
  }
  void TearDown() override {
    EngineApp::Instance().SetCaFile("");
    EngineApp::Instance().SetProxy(false, "", 0);
    TestHome::TearDown();
  }
  RelayServer::Options Front(TestCertificates::Server server, std::uint16_t port) const {
    return {port, m_certificates->CertFile(server), m_certificates->KeyFile(server)};
  }
  // The owners' transfers, one after the other on one worker.
  static void Run(std::vector<Owner*> owners, int timeoutSeconds = 10) {
    CHTTPAsyncServer transfers(-1);
    ASSERT_TRUE(transfers.Start(1, timeoutSeconds));
    for (Owner* owner : owners) transfers.Submit(new CHTTPAsyncClient(owner));
    for (Owner* owner : owners) ASSERT_TRUE(owner->WaitFreed());
  }
  static void Run(Owner& owner, int timeoutSeconds = 10) { Run(std::vector<Owner*>{&owner}, timeoutSeconds); }

  std::unique_ptr<TestCertificates> m_certificates;
};

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello";

std::string Https(const std::string& host, std::uint16_t port) {
  return "https://" + host + ":" + std::to_string(port) + "/page";
}

TEST_F(HttpsTransfer, only_a_certificate_for_the_host_from_a_trusted_ca_and_in_date_is_taken) {
  using T = TestCertificates;
  ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::Send(kOk), ScriptServer::Close()});
  const struct Case {
    T::Server certificate;
    const char* host;
    std::string caFile;  // "ca": the test's CA
    int status;
    std::string failure;
  } cases[] = {
      {T::good, "127.0.0.1", "ca", 0, ""},
      {T::good, "localhost", "ca", 0, ""},
      {T::otherHost, "localhost", "ca", HttpStatus::certificateOtherHost, "certificate is for another host"},
      {T::otherHost, "127.0.0.1", "ca", HttpStatus::certificateOtherHost, "certificate is for another host"},
      {T::expired, "127.0.0.1", "ca", HttpStatus::certificateExpired, "certificate expired"},
      {T::untrusted, "127.0.0.1", "ca", HttpStatus::certificateUntrusted,
       "certificate not trusted: unable to get local issuer certificate"},
      // Without the user's file the system's certificates alone decide.
      {T::good, "127.0.0.1", "", HttpStatus::certificateUntrusted,
       "certificate not trusted: unable to get local issuer certificate"},
      {T::good, "127.0.0.1", "/nonexistent/ca.pem", HttpStatus::caFileUnusable,
       "CA file /nonexistent/ca.pem cannot be read: No such file or directory"},
  };
  for (const Case& c : cases) {
    RelayServer front(Front(c.certificate, server.Port()));
    EngineApp::Instance().SetCaFile(c.caFile == "ca" ? m_certificates->CaFile() : c.caFile);
    Owner owner(Https(c.host, front.Port()));
    Run(owner);
    const std::string name = std::string(c.host) + " " + std::to_string(c.certificate) + " " + c.caFile;
    ASSERT_EQ(owner.m_statuses, std::vector<int>{c.status}) << name;
    EXPECT_EQ(owner.Failure(), c.failure) << name;
    EXPECT_EQ(owner.m_body, c.status == 0 ? "hello" : "") << name;
  }
  // Only the accepted handshakes reached the server.
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(HttpsTransfer, a_connection_failing_under_tls_ends_as_a_plain_one_does) {
  using S = ScriptServer;
  const struct Case {
    const char* name;
    ScriptServer::Script script;
    int timeoutSeconds;
    int status;
    std::string body, failure;
  } cases[] = {
      // The server resets once the first body bytes have reached the page.
      {"reset in the body", {S::ReadRequest(), S::Send(kOk.substr(0, kOk.size() - 3)), S::WaitRelease(), S::Reset()},
       10,
       HttpStatus::receiveFailed, "he", "the answer was cut short (TLS: Connection reset by peer)"},
      {"closes before the end it announced", {S::ReadRequest(), S::Send(kOk.substr(0, kOk.size() - 3)), S::Close()},
       10, HttpStatus::receiveFailed, "he", "the answer was cut short"},
      {"header without end", {S::ReadRequest(), S::SendForever("HTTP/1.0 200 OK\r\n")}, 10,
       HttpStatus::headerTooLong, "", "header block too long"},
      {"silent server", {S::ReadRequest(), S::WaitRelease()}, 1, HttpStatus::timedOut, "",
       "no answer within the time-out"},
  };
  for (const Case& c : cases) {
    ScriptServer server(c.script);
    RelayServer front(Front(TestCertificates::good, server.Port()));
    Owner owner(Https("127.0.0.1", front.Port()));
    owner.m_onBody = [&server] { server.Release(); };
    Run(owner, c.timeoutSeconds);
    ASSERT_EQ(owner.m_statuses, std::vector<int>{c.status}) << c.name;
    EXPECT_EQ(owner.m_body, c.body) << c.name;
    EXPECT_EQ(owner.Failure(), c.failure) << c.name;
  }
}

TEST_F(HttpsTransfer, a_silent_server_ends_a_tls_transfer_at_the_time_out_or_at_once_on_a_stop) {
  using S = ScriptServer;
  ScriptServer silent({S::WaitRelease()});  // takes the connection and never answers the handshake
  ScriptServer stalling({S::ReadRequest(), S::Send(kOk.substr(0, kOk.size() - 3)), S::WaitRelease()});
  RelayServer front(Front(TestCertificates::good, stalling.Port()));
  const struct Case {
    const char* name;
    std::uint16_t port;
    bool stop;  // else the time-out ends it
    int status;
    std::string body;
  } cases[] = {
      {"in the handshake", silent.Port(), false, HttpStatus::timedOut, ""},
      {"in the handshake", silent.Port(), true, CAsyncServer::statusCutOff, ""},
      {"in the body", front.Port(), false, HttpStatus::timedOut, "he"},
      {"in the body", front.Port(), true, CAsyncServer::statusCutOff, "he"},
  };
  for (const Case& c : cases) {
    Owner owner(Https("127.0.0.1", c.port));
    CEvent bodyCame;
    owner.m_onBody = [&bodyCame] { bodyCame.SetEvent(); };
    const int connections = silent.Connections();
    CHTTPAsyncServer transfers(-1);
    ASSERT_TRUE(transfers.Start(1, c.stop ? 30 : 1));
    const Clock::time_point start = Clock::now();
    transfers.Submit(new CHTTPAsyncClient(&owner));
    if (c.stop) {
      // In the handshake once the silent server holds the connection; in a read once body came.
      ASSERT_TRUE(c.port == silent.Port() ? silent.WaitConnections(connections + 1) : bodyCame.WaitFor(10'000));
      const Clock::time_point stopAt = Clock::now();
      transfers.Finish();
      transfers.Stop(1);
      transfers.Shutdown();
      EXPECT_LT(std::chrono::duration<double>(Clock::now() - stopAt).count(), 1.0) << c.name;
    }
    ASSERT_TRUE(owner.WaitFreed());
    EXPECT_EQ(owner.m_statuses, std::vector<int>{c.status}) << c.name;
    EXPECT_EQ(owner.m_body, c.body) << c.name;
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), c.stop ? 12.0 : 3.0) << c.name;
  }
}

TEST_F(HttpsTransfer, a_kept_tls_connection_carries_the_next_request_or_is_retried_once_the_server_closed_it) {
  using S = ScriptServer;
  const std::string kept = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  const struct Case {
    const char* name;
    std::vector<ScriptServer::Script> scripts;  // by connection
    int connections;
  } cases[] = {
      {"kept open", {{S::ReadRequest(), S::Send(kept), S::ReadRequest(), S::Send(kept), S::Close()}}, 1},
      {"closed after the first answer",
       {{S::ReadRequest(), S::Send(kept), S::Close()}, {S::ReadRequest(), S::Send(kept), S::Close()}}, 2},
      {"reset after the first answer",
       {{S::ReadRequest(), S::Send(kept), S::WaitRelease(), S::Reset()}, {S::ReadRequest(), S::Send(kept), S::Close()}},
       2},
  };
  for (const Case& c : cases) {
    S server(S::PerConnection{}, c.scripts);
    RelayServer front(Front(TestCertificates::good, server.Port()));
    Owner first(Https("127.0.0.1", front.Port())), second(Https("127.0.0.1", front.Port()));
    first.m_onBody = [&server] { server.Release(); };
    Run({&first, &second});
    EXPECT_EQ(first.m_statuses, std::vector<int>{0}) << c.name;
    EXPECT_EQ(second.m_statuses, std::vector<int>{0}) << c.name;
    EXPECT_EQ(first.m_body + second.m_body, "okok") << c.name;
    EXPECT_EQ(server.Connections(), c.connections) << c.name;
  }
}

TEST_F(HttpsTransfer, through_a_proxy_the_request_goes_inside_a_tunnel_to_the_server) {
  ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::Send(kOk), ScriptServer::Close()});
  RelayServer front(Front(TestCertificates::good, server.Port()));
  const std::string authority = "127.0.0.1:" + std::to_string(front.Port());
  const struct Case {
    std::string answer;
    int status;
    std::string failure;
  } cases[] = {
      {"HTTP/1.1 200 Connection established\r\n\r\n", 0, ""},
      {"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", HttpStatus::proxyRefused,
       "the proxy refused the tunnel: HTTP/1.1 403 Forbidden"},
      {"HTTP/1.1 200 OK\r\n\r\nstray", HttpStatus::proxyRefused, "the proxy sent bytes after opening the tunnel"},
      {"SSH-2.0-OpenSSH\r\n\r\n", HttpStatus::proxyRefused, "the proxy refused the tunnel: SSH-2.0-OpenSSH"},
  };
  for (const Case& c : cases) {
    RelayServer::Options options;
    options.proxy = true;
    options.proxyAnswer = c.answer;
    RelayServer proxy(options);
    EngineApp::Instance().SetProxy(true, "127.0.0.1", proxy.Port());
    Owner owner(Https("127.0.0.1", front.Port()));
    Run(owner);
    ASSERT_EQ(owner.m_statuses, std::vector<int>{c.status}) << c.answer;
    EXPECT_EQ(owner.Failure(), c.failure) << c.answer;
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0],
              "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\nUser-Agent: Harvion/2.0\r\n\r\n");
  }
  // Inside the tunnel the request names the path, as to the server itself.
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_TRUE(server.Requests()[0].starts_with("GET /page HTTP/1.1\r\n")) << server.Requests()[0];
}

TEST(ConnectTarget, each_address_connects_where_its_scheme_and_the_proxy_say) {
  EngineApp::RequestSettings direct, proxied;
  proxied.useProxy = true;
  proxied.proxyLocation = "http://proxy:3128/";
  const struct Case {
    std::string address;
    bool viaProxy;
    std::string host;
    int port;
    bool secure;
    std::string serverHost, tunnel;
  } cases[] = {
      {"http://Example.com/a", false, "example.com", 80, false, "example.com", ""},
      {"https://example.com/a", false, "example.com", 443, true, "example.com", ""},
      {"https://example.com:8443/", false, "example.com", 8443, true, "example.com", ""},
      {"HTTPS://example.com/", false, "example.com", 443, true, "example.com", ""},
      {"https://example.com:x/", false, "example.com", 0, true, "example.com", ""},
      {"http://example.com/a", true, "proxy", 3128, false, "", ""},
      {"https://example.com/a", true, "proxy", 3128, true, "example.com", "example.com:443"},
      {"https://example.com:8443/a", true, "proxy", 3128, true, "example.com", "example.com:8443"},
  };
  for (const Case& c : cases) {
    ConnectTarget target;
    ASSERT_TRUE(MakeConnectTarget(c.address, c.viaProxy ? proxied : direct, target)) << c.address;
    EXPECT_EQ(target.host, c.host) << c.address;
    EXPECT_EQ(target.port, c.port) << c.address;
    EXPECT_EQ(target.secure, c.secure) << c.address;
    EXPECT_EQ(target.serverHost, c.serverHost) << c.address;
    EXPECT_EQ(target.tunnel, c.tunnel) << c.address;
  }
}

}  // namespace
