// Page transfers over real loopback sockets: the request bytes a server
// receives, how responses cut into pieces are put together, and how every
// kind of failure ends a transfer.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/cache/page_descr.h"
#include "engine/http/cookies.h"
#include "engine/http/http_async_client.h"
#include "engine/http/http_async_server.h"
#include "engine/http/http_request_owner.h"
#include "engine/settings/engine_app.h"
#include "platform/threads/event.h"
#include "support/gzip_bytes.h"
#include "support/nginx_server.h"
#include "support/script_server.h"
#include "support/test_home.h"
#include "support/text_files.h"

namespace {

using hv::test::ScriptServer;
using Script = ScriptServer::Script;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr auto kPatience = std::chrono::seconds(10);

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A location as the transfer sees it: answers from fields, records every call.
class Owner : public CHTTPRequestOwner {
 public:
  explicit Owner(std::string address) : m_page(std::move(address)) {}

  CPageDescr* RequestPage() override { return &m_page; }
  void GetAcceptTypes(std::string& types) override { types = "text/*"; }
  std::uint32_t GetIfModifiedSince() override { return m_ifModifiedSince; }
  int GetAuthorization(std::string& credentials) override {
    credentials = m_credentials;
    return m_bGivesCredentials;
  }
  int OnHeaders() override {
    Record([&] { ++m_headerEvents; });
    return m_headersResult;
  }
  int OnData(const char* data, int length) override {
    Record([&] { m_blocks.emplace_back(data, static_cast<std::size_t>(length)); });
    if (m_onBody) m_onBody();
    return m_dataResult;
  }
  void OnRequestQueued() override {}
  void OnRequestStarted() override {
    if (m_onStarted) m_onStarted();
  }
  void OnRequestFinished(int status) override {
    Record([&] { m_statuses.push_back(status); });
  }
  void OnRequestFreed(CHTTPAsyncClient*) override {
    Record([&] { ++m_freed; });
  }

  bool WaitFreed() {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kPatience, [&] { return m_freed > 0; });
  }
  std::string Body() {
    std::lock_guard lock(m_mutex);
    std::string body;
    for (const std::string& block : m_blocks) body += block;
    return body;
  }

  CPageDescr m_page;
  std::uint32_t m_ifModifiedSince = 0;
  std::string m_credentials;
  bool m_bGivesCredentials = true;
  int m_headersResult = 0, m_dataResult = 0;
  std::function<void()> m_onBody, m_onStarted;
  // Recorded on the worker; read once freed.
  int m_headerEvents = 0, m_freed = 0;
  std::vector<std::string> m_blocks;
  std::vector<int> m_statuses;

 private:
  void Record(const std::function<void()>& change) {
    std::lock_guard lock(m_mutex);
    change();
    m_changed.notify_all();
  }
  std::mutex m_mutex;
  std::condition_variable m_changed;
};

class HttpTransfer : public TestHome {
 protected:
  // Runs the owners' transfers on a server of its own and waits for each to end.
  static void Run(const std::vector<Owner*>& owners, int threads = 1, int timeoutSeconds = 10) {
    CHTTPAsyncServer server(-1);
    ASSERT_TRUE(server.Start(threads, timeoutSeconds));
    for (Owner* owner : owners) server.Submit(new CHTTPAsyncClient(owner));
    for (Owner* owner : owners) ASSERT_TRUE(owner->WaitFreed()) << owner->m_page.m_strAddress;
  }
};

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\nTitle: Split\r\n\r\n";

std::string WithPort(std::string text, std::uint16_t port) {
  for (std::size_t at; (at = text.find("{port}")) != std::string::npos;) text.replace(at, 6, std::to_string(port));
  return text;
}

TEST_F(HttpTransfer, request_bytes_are_exactly_what_the_server_receives) {
  ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::Send("HTTP/1.0 204 No Content\r\n\r\n"),
                       ScriptServer::Close()});
  // Path-scoped, so no other request to this host carries it.
  CCookies::Instance().SetCookie(server.Url("/jar/"), "sid=abc; Path=/jar");
  const std::string head = "Accept: text/*\r\nUser-Agent: Harvion/2.0\r\nHost: 127.0.0.1:{port}\r\n";
  struct Case {
    std::string address;  // a path is on the script server
    std::uint32_t ifModifiedSince;
    std::string credentials;
    bool proxy;
    std::string request;
  } cases[] = {
      {"/a/b.html", 0, "", false, "GET /a/b.html HTTP/1.0\r\n" + head + "\r\n"},
      {"/q?x=1#frag", 784111777, "", false,
       "GET /q?x=1 HTTP/1.0\r\n" + head + "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n"},
      {"/", 0, "dXNlcjpwdw==", false, "GET / HTTP/1.0\r\n" + head + "Authorization: Basic dXNlcjpwdw==\r\n\r\n"},
      // Credentials from a hostile store cannot add a line of their own.
      {"/", 0, "abc\r\nX-Injected: 1", false,
       "GET / HTTP/1.0\r\n" + head + "Authorization: Basic abcX-Injected: 1\r\n\r\n"},
      {"/jar/page", 0, "", false, "GET /jar/page HTTP/1.0\r\n" + head + "Cookie: sid=abc\r\n\r\n"},
      // Through a proxy the request names the whole address, and Host its server.
      {"http://Server/x.html#top", 0, "", true,
       "GET http://Server/x.html HTTP/1.0\r\nAccept: text/*\r\nUser-Agent: Harvion/2.0\r\nHost: server\r\n\r\n"},
  };
  for (const Case& c : cases) {
    EngineApp::Instance().SetProxy(c.proxy, "127.0.0.1", server.Port());
    Owner owner(c.address.starts_with('/') ? server.Url(c.address) : c.address);
    owner.m_ifModifiedSince = c.ifModifiedSince;
    owner.m_credentials = c.credentials;
    Run({&owner});
    EXPECT_EQ(owner.m_statuses, std::vector<int>{0}) << c.address;
    EXPECT_EQ(owner.m_page.m_nStatusCode, 204) << c.address;
  }
  EngineApp::Instance().SetProxy(false, "", 0);
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), std::size(cases));
  for (std::size_t i = 0; i < requests.size(); ++i)
    EXPECT_EQ(requests[i], WithPort(cases[i].request, server.Port())) << cases[i].address;
}

TEST_F(HttpTransfer, a_response_cut_anywhere_gives_the_same_fields_and_body) {
  const std::string lfOnly = "HTTP/1.0 200 OK\nContent-Type: text/html\nContent-Length: 5\nTitle: Split\n\n";
  for (const std::string& head : {kOk, lfOnly}) {
    const std::string response = head + "hello";
    std::vector<std::vector<std::size_t>> cuts{{}};
    for (std::size_t at = 1; at < response.size(); ++at) cuts.push_back({at});
    cuts.emplace_back();
    for (std::size_t at = 1; at < response.size(); ++at) cuts.back().push_back(at);  // a byte per send
    for (const auto& cut : cuts) {
      ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::SendPaced(response, cut), ScriptServer::Close()});
      Owner owner(server.Url("/"));
      Run({&owner});
      // Each piece is a receive of its own: the body comes in the pieces it was cut into.
      std::vector<std::string> bodyBlocks;
      std::size_t from = head.size();
      for (std::size_t at : cut) {
        if (at <= from) continue;
        bodyBlocks.push_back(response.substr(from, at - from));
        from = at;
      }
      bodyBlocks.push_back(response.substr(from));
      const std::string where = (head == kOk ? "CRLF cut at " : "LF cut at ") +
                                (cut.empty() ? "none" : std::to_string(cut.front()) + " (" +
                                                            std::to_string(cut.size()) + " cuts)");
      EXPECT_EQ(owner.m_statuses, std::vector<int>{0}) << where;
      EXPECT_EQ(owner.m_headerEvents, 1) << where;
      EXPECT_EQ(owner.m_blocks, bodyBlocks) << where;
      const CPageDescr& page = owner.m_page;
      EXPECT_EQ(page.m_strStatusLine, "HTTP/1.0") << where;
      EXPECT_EQ(page.m_nStatusCode, 200) << where;
      EXPECT_EQ(page.m_strStatusText, "OK") << where;
      EXPECT_EQ(page.m_strContentType, "text/html") << where;
      EXPECT_EQ(page.m_nContentLength, 5) << where;
      EXPECT_EQ(page.m_strTitle, "Split") << where;
    }
  }
}

TEST_F(HttpTransfer, the_earlier_end_marker_ends_the_header_and_the_rest_is_the_first_body_block) {
  const struct {
    std::string response, title, body;
  } cases[] = {
      {"HTTP/1.0 200 OK\nTitle: A\n\nbody\r\n\r\nrest", "A", "body\r\n\r\nrest"},
      {"HTTP/1.0 200 OK\r\nTitle: B\r\n\r\nx\n\ny", "B", "x\n\ny"},
      {"HTTP/1.0 200 OK\r\nTitle: C\r\n\r\n", "C", ""},
  };
  for (const auto& c : cases) {
    ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::Send(c.response), ScriptServer::Close()});
    Owner owner(server.Url("/"));
    Run({&owner});
    EXPECT_EQ(owner.m_statuses, std::vector<int>{0}) << c.title;
    EXPECT_EQ(owner.m_page.m_strTitle, c.title);
    EXPECT_EQ(owner.m_blocks, c.body.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.body});
  }
}

TEST_F(HttpTransfer, each_failure_ends_the_transfer_with_its_status) {
  using hv::test::DeadPort;
  DeadPort refusing(DeadPort::refusing), unanswered(DeadPort::unanswered);
  const struct Case {
    const char* name;
    Script script;
    std::string address;  // empty: the script server
    int timeoutSeconds;
    bool releaseOnBody;  // the server goes on once the owner has body data
    int status, headerEvents;
    std::string body;
  } cases[] = {
      {"silent server", {ScriptServer::ReadRequest(), ScriptServer::WaitRelease()}, "", 1, false,
       HttpStatus::timedOut, 0, ""},
      {"stalls in the body",
       {ScriptServer::ReadRequest(), ScriptServer::Send(kOk + "he"), ScriptServer::WaitRelease()}, "", 1, false,
       HttpStatus::timedOut, 1, "he"},
      {"closes without data", {ScriptServer::ReadRequest(), ScriptServer::Close()}, "", 10, false,
       HttpStatus::closed, 0, ""},
      {"reset in the body",
       {ScriptServer::ReadRequest(), ScriptServer::Send(kOk + "he"), ScriptServer::WaitRelease(),
        ScriptServer::Reset()},
       "", 10, true, HttpStatus::receiveFailed, 1, "he"},
      {"header without end", {ScriptServer::ReadRequest(), ScriptServer::SendForever("HTTP/1.0 200 OK\r\n")}, "",
       10, false, HttpStatus::headerTooLong, 0, ""},
      {"closes before the end of the body it announced",
       {ScriptServer::ReadRequest(),
        ScriptServer::Send("HTTP/1.0 200 OK\nContent-Length: 100000\n\n" + std::string(65, 'b')),
        ScriptServer::Close()},
       "", 10, false, HttpStatus::receiveFailed, 1, std::string(65, 'b')},
      // Answers without a body end with their header, whatever length they name.
      {"not modified, with a length",
       {ScriptServer::ReadRequest(), ScriptServer::Send("HTTP/1.0 304 Not Modified\r\ncontent-length:  20\r\n\r\n"),
        ScriptServer::Close()},
       "", 10, false, HttpStatus::closed, 1, ""},
      {"nothing listens", {}, "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/", 10, false,
       HttpStatus::connectFailed, 0, ""},
      {"connect unanswered", {}, "http://127.0.0.1:" + std::to_string(unanswered.Port()) + "/", 1, false,
       HttpStatus::timedOut, 0, ""},
      {"unknown host", {}, "http://nonexistent.invalid/", 10, false, HttpStatus::noHostAddress, 0, ""},
  };
  for (const Case& c : cases) {
    ScriptServer server(c.script);
    Owner owner(c.address.empty() ? server.Url("/") : c.address);
    if (c.releaseOnBody) owner.m_onBody = [&server] { server.Release(); };
    Run({&owner}, 1, c.timeoutSeconds);
    EXPECT_EQ(owner.m_statuses, std::vector<int>{c.status}) << c.name;
    EXPECT_EQ(owner.m_headerEvents, c.headerEvents) << c.name;
    EXPECT_EQ(owner.Body(), c.body) << c.name;
    EXPECT_EQ(owner.m_freed, 1) << c.name;
  }
}

TEST_F(HttpTransfer, an_owner_that_ends_the_transfer_is_not_told_its_status) {
  const struct {
    int headersResult, dataResult;
    bool givesCredentials;
  } cases[] = {{1, 0, true}, {2, 0, true}, {3, 0, true}, {0, 1, true}, {0, 3, true}, {0, 0, false}};
  for (const auto& c : cases) {
    ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::Send(kOk + "hello"), ScriptServer::Close()});
    Owner owner(server.Url("/"));
    owner.m_headersResult = c.headersResult;
    owner.m_dataResult = c.dataResult;
    owner.m_bGivesCredentials = c.givesCredentials;
    Run({&owner});
    const std::string name = std::to_string(c.headersResult) + "/" + std::to_string(c.dataResult);
    EXPECT_TRUE(owner.m_statuses.empty()) << name;
    EXPECT_EQ(owner.m_freed, 1) << name;
    EXPECT_EQ(owner.Body(), c.headersResult == 0 && c.givesCredentials ? "hello" : "") << name;
    EXPECT_EQ(server.Connections(), c.givesCredentials ? 1 : 0) << name;  // no request, no connection
  }
}

TEST_F(HttpTransfer, a_slow_server_holds_a_transfer_no_longer_than_its_time_out) {
  using S = ScriptServer;
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 3072\r\n\r\n";
  const struct Case {
    const char* name;
    Script script;
    int timeoutSeconds, headersResult;
    std::vector<int> statuses;  // none: the owner ended it
    double minSeconds, maxSeconds;
  } cases[] = {
      {"header a byte at a time", {S::ReadRequest(), S::Trickle("HTTP/1.0 200 OK\r\nX-Slow: ", 100ms, 1, true)}, 1, 0,
       {HttpStatus::timedOut}, 0.9, 2.5},
      {"body a byte at a time", {S::ReadRequest(), S::Send(head), S::Trickle("", 100ms, 1, true)}, 1, 0,
       {HttpStatus::timedOut}, 0.9, 2.5},
      {"steady body for longer than the time-out",
       {S::ReadRequest(), S::Send(head), S::Trickle(std::string(3072, 'x'), 250ms, 512, false), S::Close()}, 1, 0,
       {HttpStatus::closed}, 1.4, 5},
      // Waiting for the server to close after an early end is bounded too.
      {"owner ends it while the server trickles", {S::ReadRequest(), S::Send(head), S::Trickle("", 100ms, 1, true)},
       10, CHTTPRequestOwner::done, {}, 0, 2.5},
  };
  for (const Case& c : cases) {
    ScriptServer server(c.script);
    Owner owner(server.Url("/"));
    owner.m_headersResult = c.headersResult;
    const Clock::time_point start = Clock::now();
    Run({&owner}, 1, c.timeoutSeconds);
    const double seconds = SecondsSince(start);
    EXPECT_EQ(owner.m_statuses, c.statuses) << c.name;
    EXPECT_GE(seconds, c.minSeconds) << c.name;
    EXPECT_LE(seconds, c.maxSeconds) << c.name;
  }
}

TEST_F(HttpTransfer, a_stop_cuts_off_the_running_transfer_at_once_and_drops_the_queued_one) {
  using S = ScriptServer;
  hv::test::DeadPort unanswered(hv::test::DeadPort::unanswered);
  enum Wait { started, requested, bodyArrived };
  const struct Case {
    const char* name;
    Script script;  // none: the transfer connects to a port that never answers
    Wait wait;
    std::vector<std::string> blocks;
  } cases[] = {
      {"connecting", {}, started, {}},
      {"waiting for the header", {S::ReadRequest(), S::WaitRelease()}, requested, {}},
      {"in the body", {S::ReadRequest(), S::Send(kOk + "he"), S::WaitRelease(), S::Send("llo"), S::Close()},
       bodyArrived, {"he"}},
  };
  for (const Case& c : cases) {
    ScriptServer server(c.script);
    const std::string base =
        c.script.empty() ? "http://127.0.0.1:" + std::to_string(unanswered.Port()) : server.Url("");
    Owner running(base + "/running"), queued(base + "/queued");
    CEvent waited;
    (c.wait == started ? running.m_onStarted : running.m_onBody) = [&] { waited.SetEvent(); };
    CHTTPAsyncServer transfers(-1);
    // A time-out far beyond the second a stop may take.
    ASSERT_TRUE(transfers.Start(1, 30));
    transfers.Submit(new CHTTPAsyncClient(&running));
    transfers.Submit(new CHTTPAsyncClient(&queued));
    ASSERT_TRUE(c.wait == requested ? server.WaitRequests(1) : waited.WaitFor(10'000)) << c.name;
    const Clock::time_point stop = Clock::now();
    transfers.Finish();
    transfers.Stop(1);
    transfers.Shutdown();  // also waits for the worker to leave its socket
    EXPECT_LT(SecondsSince(stop), 1.0) << c.name;
    ASSERT_TRUE(running.WaitFreed());
    ASSERT_TRUE(queued.WaitFreed());
    EXPECT_EQ(running.m_statuses, std::vector<int>{CAsyncServer::statusCutOff}) << c.name;
    EXPECT_EQ(running.m_blocks, c.blocks) << c.name;
    EXPECT_EQ(queued.m_statuses, std::vector<int>{CAsyncServer::statusDropped}) << c.name;
    EXPECT_EQ(queued.m_headerEvents, 0) << c.name;
    EXPECT_EQ(server.Connections(), c.script.empty() ? 0 : 1) << c.name;
  }
}

TEST_F(HttpTransfer, four_workers_complete_every_transfer_exactly_once) {
  ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::Send(kOk + "hello"), ScriptServer::Close()});
  std::vector<std::unique_ptr<Owner>> owners;
  std::vector<Owner*> pointers;
  std::set<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    const std::string path = "/page" + std::to_string(i);
    owners.push_back(std::make_unique<Owner>(server.Url(path)));
    pointers.push_back(owners.back().get());
    expected.insert(path);
  }
  Run(pointers, 4);
  for (const auto& owner : owners) {
    EXPECT_EQ(owner->m_statuses, std::vector<int>{0}) << owner->m_page.m_strAddress;
    EXPECT_EQ(owner->m_freed, 1);
    EXPECT_EQ(owner->Body(), "hello");
  }
  std::set<std::string> requested;
  for (const std::string& request : server.Requests())
    requested.insert(request.substr(4, request.find(' ', 4) - 4));
  EXPECT_EQ(requested, expected);
  EXPECT_EQ(server.Connections(), 40);
}

// Chunked and gzip bodies reach the owner decoded, whatever the request
// asked for; the page's length is the decoded one.
TEST_F(HttpTransfer, coded_bodies_reach_the_owner_decoded) {
  using hv::test::Gzip;
  const std::string page = "<p>" + std::string(3000, 'x') + "</p>";
  const std::string gz = Gzip(page);
  const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
  std::string gzChunks;
  for (std::size_t at = 0; at < gz.size(); at += 700) {
    const std::string part = gz.substr(at, 700);
    char size[16];
    std::snprintf(size, sizeof size, "%zx", part.size());
    gzChunks += size + std::string(";ext=1\r\n") + part + "\r\n";
  }
  std::string corrupt = gz;
  corrupt[gz.size() / 2] ^= 0x55;
  const struct Case {
    const char* name;
    std::string response;
    bool everyCut;  // also sent cut at every byte of its header and first chunks
    int status;
    std::string body;
    std::int32_t length;
  } cases[] = {
      {"chunked", chunkedHead + "\r\n5\r\nhello\r\n6;x=\"y\"\r\n world\r\n0\r\nX-T: 1\r\n\r\n", true,
       HttpStatus::closed, "hello world", 11},
      {"gzip with a length, not asked for",
       "HTTP/1.0 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(gz.size()) + "\r\n\r\n" + gz,
       false, HttpStatus::closed, page, static_cast<std::int32_t>(page.size())},
      {"gzip in chunks", chunkedHead + "Content-Encoding: x-gzip\r\n\r\n" + gzChunks + "0\r\n\r\n", true,
       HttpStatus::closed, page, static_cast<std::int32_t>(page.size())},
      {"no last chunk", chunkedHead + "\r\n5\r\nhello\r\n", false, HttpStatus::receiveFailed, "hello", 0},
      {"gzip cut short", "HTTP/1.0 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + gz.substr(0, gz.size() / 2), false,
       HttpStatus::receiveFailed, "", 0},
      {"negative chunk size", chunkedHead + "\r\n-5\r\nhello\r\n0\r\n\r\n", false, HttpStatus::badBody, "", 0},
      {"chunk size past 64 bits", chunkedHead + "\r\n1" + std::string(16, '0') + "\r\nhello", false,
       HttpStatus::badBody, "", 0},
      {"corrupt gzip", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + corrupt, false, HttpStatus::badBody,
       "", 0},
  };
  for (const Case& c : cases) {
    std::vector<std::vector<std::size_t>> cuts{{}};
    for (std::size_t at = 1; c.everyCut && at < std::min<std::size_t>(c.response.size(), 200); ++at) cuts.push_back({at});
    for (const auto& cut : cuts) {
      const std::string where = std::string(c.name) + " cut at " + (cut.empty() ? "none" : std::to_string(cut[0]));
      ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::SendPaced(c.response, cut), ScriptServer::Close()});
      Owner owner(server.Url("/"));
      Run({&owner});
      EXPECT_EQ(owner.m_statuses, std::vector<int>{c.status}) << where;
      EXPECT_EQ(owner.m_headerEvents, 1) << where;
      const std::string body = owner.Body();
      if (c.status == HttpStatus::closed) {
        EXPECT_EQ(body, c.body) << where;
        EXPECT_EQ(owner.m_page.m_nContentLength, c.length) << where;
      } else {
        EXPECT_TRUE(c.body.starts_with(body) || page.starts_with(body)) << where;
      }
      for (const std::string& block : owner.m_blocks) EXPECT_LE(block.size(), 4096u) << where;
    }
  }
}

// A chunked body ends at its last chunk, not when the server closes.
TEST_F(HttpTransfer, a_chunked_answer_ends_at_its_last_chunk) {
  ScriptServer server({ScriptServer::ReadRequest(),
                       ScriptServer::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"),
                       ScriptServer::WaitRelease()});
  Owner owner(server.Url("/"));
  const auto start = Clock::now();
  Run({&owner}, 1, 5);
  server.Release();
  EXPECT_EQ(owner.m_statuses, std::vector<int>{HttpStatus::closed});
  EXPECT_EQ(owner.Body(), "ok");
  EXPECT_LT(SecondsSince(start), 3.0);
}

TEST_F(HttpTransfer, keep_alive_asks_for_http_1_1_and_gzip) {
  ScriptServer server({ScriptServer::ReadRequest(), ScriptServer::Send("HTTP/1.1 204 No Content\r\n\r\n"),
                       ScriptServer::Close()});
  const std::string head = "Accept: text/*\r\nUser-Agent: Harvion/2.0\r\nHost: 127.0.0.1:{port}\r\n";
  for (const bool on : {false, true}) {
    EngineApp::Instance().SetKeepAlive(on);
    Owner owner(server.Url("/k"));
    Run({&owner});
    EXPECT_EQ(owner.m_statuses, std::vector<int>{HttpStatus::closed}) << on;
  }
  EngineApp::Instance().SetKeepAlive(false);
  EXPECT_EQ(server.Requests(),
            (std::vector<std::string>{WithPort("GET /k HTTP/1.0\r\n" + head + "\r\n", server.Port()),
                                      WithPort("GET /k HTTP/1.1\r\n" + head + "Accept-Encoding: gzip\r\n\r\n",
                                               server.Port())}));
  // A secure address always has it.
  Owner secure("https://Example.org:443/s");
  std::string request;
  ASSERT_EQ(CHTTPAsyncClient(&secure).BuildRequest(request), 0);
  EXPECT_TRUE(request.starts_with("GET /s HTTP/1.1\r\n")) << request;
  EXPECT_NE(request.find("\r\nAccept-Encoding: gzip\r\n"), std::string::npos) << request;
}

// nginx logs each request with its connection's number: with keep-alive on,
// a worker sends all its requests over one connection, and gzip answers
// (chunked by nginx) come out as the files are.
TEST_F(HttpTransfer, kept_connections_carry_every_request_of_a_worker_to_nginx) {
  if (hvtest::NginxServer::Program().empty()) GTEST_SKIP() << "nginx is not installed";
  hvtest::NginxServer nginx;
  std::vector<std::string> pages;
  for (int i = 0; i < 12; ++i) {
    pages.push_back("<html><p>" + std::string(200 + 500 * i, static_cast<char>('a' + i)) + "</p></html>");
    ASSERT_TRUE(hvtest::WriteText(nginx.Path("site/p" + std::to_string(i) + ".html"), pages.back()));
  }
  hvtest::NginxServer::Options options;
  options.root = nginx.Path("site");
  options.serverConfig = "    gzip on;\n    gzip_min_length 1;\n";
  options.keepAlive = options.accessLog = options.logConnection = true;
  ASSERT_TRUE(nginx.Start(options)) << nginx.Messages();
  const struct {
    bool keepAlive;
    int threads;
    std::size_t connections;  // at most; with keep-alive off exactly one per request
  } cases[] = {{false, 1, 12}, {true, 1, 1}, {true, 3, 3}};
  std::size_t logged = 0;
  for (const auto& c : cases) {
    EngineApp::Instance().SetKeepAlive(c.keepAlive);
    std::vector<std::unique_ptr<Owner>> owners;
    std::vector<Owner*> run;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      owners.push_back(std::make_unique<Owner>(nginx.BaseUrl() + "p" + std::to_string(i) + ".html"));
      run.push_back(owners.back().get());
    }
    Run(run, c.threads);
    for (std::size_t i = 0; i < pages.size(); ++i) {
      EXPECT_EQ(owners[i]->m_statuses, std::vector<int>{HttpStatus::closed}) << i;
      EXPECT_EQ(owners[i]->Body(), pages[i]) << i;
      EXPECT_EQ(owners[i]->m_page.m_nContentLength, static_cast<std::int32_t>(pages[i].size())) << i;
    }
    // nginx logs a request once it has sent the answer: wait for the lines.
    std::vector<std::string> log;
    for (const auto until = Clock::now() + kPatience; Clock::now() < until;) {
      log = nginx.AccessLog();
      if (log.size() >= logged + pages.size()) break;
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(log.size(), logged + pages.size());
    std::set<std::string> connections;
    std::size_t sent = 0, sizes = 0;  // "GET URI STATUS BYTES CONNECTION"
    for (std::size_t i = logged; i < log.size(); ++i) {
      std::istringstream fields(log[i]);
      std::string method, uri, status, connection;
      std::size_t bytes = 0;
      fields >> method >> uri >> status >> bytes >> connection;
      connections.insert(connection);
      sent += bytes;
      sizes += pages[i - logged].size();
    }
    logged = log.size();
    if (c.keepAlive) {
      EXPECT_LE(connections.size(), c.connections) << c.threads << " threads";
      EXPECT_LT(sent, sizes / 10) << "sent compressed";
    } else {
      EXPECT_EQ(connections.size(), c.connections);
      EXPECT_GE(sent, sizes) << "sent as it is";
    }
  }
  EngineApp::Instance().SetKeepAlive(false);
}

// A kept connection that the server closed, or reset, before the next
// request is answered is left for a new one, once; an answer that ends
// reuse (Connection: close, HTTP/1.0) leaves nothing to retry.
TEST_F(HttpTransfer, a_kept_connection_the_server_closed_is_retried_once_on_a_new_one) {
  using S = ScriptServer;
  const std::string kept = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  const std::string closing = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok";
  const struct Case {
    const char* name;
    std::vector<Script> scripts;  // by connection
    std::vector<std::string> bodies;
    int connections;
  } cases[] = {
      {"closed after the first answer",
       {{S::ReadRequest(), S::Send(kept), S::Close()}, {S::ReadRequest(), S::Send(kept), S::Close()}}, {"ok", "ok"}, 2},
      {"reset after the first answer",
       {{S::ReadRequest(), S::Send(kept), S::WaitRelease(), S::Reset()}, {S::ReadRequest(), S::Send(kept), S::Close()}},
       {"ok", "ok"}, 2},
      {"kept open: both over one",
       {{S::ReadRequest(), S::Send(kept), S::ReadRequest(), S::Send(kept), S::Close()}}, {"ok", "ok"}, 1},
      {"the new one closes too: retried only once",
       {{S::ReadRequest(), S::Send(kept), S::Close()}, {S::ReadRequest(), S::Close()}}, {"ok", ""}, 2},
      {"Connection: close", {{S::ReadRequest(), S::Send(closing), S::Close()}}, {"ok", "ok"}, 2},
      {"HTTP/1.0 answer",
       {{S::ReadRequest(), S::Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"), S::Close()}}, {"ok", "ok"}, 2},
  };
  EngineApp::Instance().SetKeepAlive(true);
  for (const Case& c : cases) {
    S server(S::PerConnection{}, c.scripts);
    Owner first(server.Url("/1")), second(server.Url("/2"));
    // The reset comes once the first answer is in.
    first.m_onBody = [&server] { server.Release(); };
    Run({&first, &second});
    EXPECT_EQ(first.Body(), c.bodies[0]) << c.name;
    EXPECT_EQ(second.Body(), c.bodies[1]) << c.name;
    EXPECT_EQ(second.m_statuses, std::vector<int>{HttpStatus::closed}) << c.name;
    EXPECT_EQ(server.Connections(), c.connections) << c.name;
  }
  EngineApp::Instance().SetKeepAlive(false);
}

// An owner done with an answer at its header (moved, not modified) leaves
// the connection for the next request when the rest has a known end.
TEST_F(HttpTransfer, an_answer_stopped_at_its_header_leaves_the_connection_kept) {
  using S = ScriptServer;
  const std::string next = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  const struct {
    std::string first;
    int connections;
  } cases[] = {
      {"HTTP/1.1 301 Moved\r\nLocation: /2\r\nContent-Length: 5\r\n\r\nmoved", 1},
      {"HTTP/1.1 304 Not Modified\r\n\r\n", 1},
      {"HTTP/1.1 302 Found\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nmoved\r\n0\r\n\r\n", 1},
      {"HTTP/1.1 302 Found\r\n\r\nmoved", 2},  // ends only at the close
  };
  EngineApp::Instance().SetKeepAlive(true);
  for (const auto& c : cases) {
    S server(S::PerConnection{}, {{S::ReadRequest(), S::Send(c.first), S::ReadRequest(), S::Send(next), S::Close()},
                                  {S::ReadRequest(), S::Send(next), S::Close()}});
    Owner first(server.Url("/1")), second(server.Url("/2"));
    first.m_headersResult = 1;
    Run({&first, &second});
    EXPECT_EQ(second.Body(), "ok") << c.first;
    EXPECT_EQ(server.Connections(), c.connections) << c.first;
  }
  EngineApp::Instance().SetKeepAlive(false);
}

// Interim answers an HTTP/1.1 server may send first are no page's: the
// answer proper follows them, cut anywhere, on a connection kept after it.
TEST_F(HttpTransfer, interim_answers_before_the_answer_proper_are_passed_over) {
  using S = ScriptServer;
  const std::string first =
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\nSet-Cookie: early=1\r\n\r\n"
      "HTTP/1.1 200 OK\r\nTitle: Proper\r\nContent-Length: 2\r\n\r\nok";
  EngineApp::Instance().SetKeepAlive(true);
  for (std::size_t cut = 0; cut < first.size(); cut += 3) {
    S server({S::ReadRequest(), S::SendPaced(first, cut == 0 ? std::vector<std::size_t>{} : std::vector{cut}),
              S::ReadRequest(), S::Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo"), S::Close()});
    Owner one(server.Url("/1")), two(server.Url("/2"));
    Run({&one, &two});
    EXPECT_EQ(one.m_page.m_nStatusCode, 200) << cut;
    EXPECT_EQ(one.m_page.m_strTitle, "Proper") << cut;
    EXPECT_EQ(one.m_headerEvents, 1) << cut;
    EXPECT_EQ(one.Body(), "ok") << cut;
    EXPECT_EQ(two.Body(), "two") << cut;
    EXPECT_EQ(server.Connections(), 1) << cut;
  }
  EngineApp::Instance().SetKeepAlive(false);
}

TEST_F(HttpTransfer, the_end_of_a_run_closes_the_kept_connections) {
  using S = ScriptServer;
  S server({S::ReadRequest(), S::Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"), S::ReadRequest()});
  EngineApp::Instance().SetKeepAlive(true);
  CHTTPAsyncServer transfers(-1);
  ASSERT_TRUE(transfers.Start(1, 10));
  Owner owner(server.Url("/"));
  transfers.Submit(new CHTTPAsyncClient(&owner));
  ASSERT_TRUE(owner.WaitFreed());
  EXPECT_EQ(transfers.Pool().IdleCount(), 1u);
  transfers.Shutdown();
  EXPECT_EQ(transfers.Pool().IdleCount(), 0u);
  EngineApp::Instance().SetKeepAlive(false);
}

}  // namespace
