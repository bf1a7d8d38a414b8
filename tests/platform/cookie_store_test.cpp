#include "platform/cookies/cookie_store.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "platform/cookies/cookie_date.h"
#include "platform/cookies/cookies_file.h"
#include "platform/cookies/set_cookie.h"
#include "platform/temp_folder.h"

namespace {

using namespace hv::cookies;
using hv::test::ReadText;
using hv::test::WriteText;
using namespace std::string_literals;

constexpr std::int64_t kNow = 1'700'000'000;

Origin At(const std::string& host, const std::string& path = "/", bool secure = false) {
  return Origin{host, path, secure};
}

TEST(CookieMatch, domain_path_and_secure_decide_what_a_request_carries) {
  struct Case {
    const char* domain;
    bool hostOnly;
    const char* path;
    bool secure;
    Origin request;
    bool sent;
  } cases[] = {
      {"example.com", true, "/", false, At("example.com", "/x"), true},
      {"example.com", true, "/", false, At("www.example.com"), false},
      {"example.com", false, "/", false, At("www.example.com"), true},
      {"example.com", false, "/", false, At("badexample.com"), false},
      {"0.0.1", false, "/", false, At("127.0.0.1"), false},  // an address has no parent domain
      {"127.0.0.1", true, "/", false, At("127.0.0.1"), true},
      {"a.b", true, "/docs", false, At("a.b", "/docs/x.html"), true},
      {"a.b", true, "/docs", false, At("a.b", "/docsx"), false},
      {"a.b", true, "/docs/", false, At("a.b", "/docs"), false},
      {"a.b", true, "/", true, At("a.b", "/", false), false},
      {"a.b", true, "/", true, At("a.b", "/", true), true},
      {"co.uk", false, "/", false, At("shop.co.uk"), false},  // from a file some other program wrote
      {"co.uk", false, "/", false, At("co.uk"), true},
  };
  for (const Case& c : cases) {
    Cookie cookie{"n", "v", c.domain, c.path, 0, c.hostOnly, c.secure, false};
    EXPECT_EQ(Matches(cookie, c.request), c.sent) << c.domain << c.path << " to " << c.request.host << c.request.path;
  }
}

TEST(SetCookie, attributes_are_read_as_browsers_read_them) {
  struct Case {
    const char* value;
    Origin from;
    const char* expected;  // domain|hostOnly|path|secure|expires-now, or "-" when ignored
  } cases[] = {
      {"a=1", At("www.ex.com", "/dir/page"), "www.ex.com|1|/dir|0|session"},
      {" a = 1 ; Path=/x ; Domain=.EX.com", At("www.ex.com"), "ex.com|0|/x|0|session"},
      {"a=1; Domain=ex.com", At("ex.com"), "ex.com|0|/|0|session"},
      {"a=1; Path=rel", At("h.ex", "/d/e/f"), "h.ex|1|/d/e|0|session"},
      {"a=1; Domain=other.com", At("www.ex.com"), "-"},
      {"a=1; Domain=com", At("www.ex.com"), "-"},
      // Public suffixes: every site under them would get the cookie.
      {"a=1; Domain=co.uk", At("shop.co.uk"), "-"},
      {"a=1; Domain=.github.io", At("me.github.io"), "-"},
      {"a=1; Domain=me.github.io", At("www.me.github.io"), "me.github.io|0|/|0|session"},
      {"a=1; Domain=github.io", At("github.io"), "github.io|1|/|0|session"},
      {"a=1; Domain=localhost", At("localhost"), "localhost|1|/|0|session"},
      {"a=1; Domain=127.0.0.1", At("127.0.0.1"), "127.0.0.1|1|/|0|session"},
      {"a=1; Max-Age=60; Expires=Wed, 09 Jun 2021 10:18:14 GMT", At("h.ex"), "h.ex|1|/|0|60"},
      {"a=1; Max-Age=60; Max-Age=x9", At("h.ex"), "h.ex|1|/|0|60"},
      {"a=1; max-age=99999999999999999999", At("h.ex"), "h.ex|1|/|0|34560000"},
      {"a=1; Max-Age=0", At("h.ex"), "h.ex|1|/|0|gone"},
      {"a=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT", At("h.ex"), "h.ex|1|/|0|gone"},
      {"a=1; Secure", At("h.ex", "/", true), "h.ex|1|/|1|session"},
      {"a=1; Secure", At("h.ex"), "-"},
      {"=1", At("h.ex"), "-"},
      {"novalue", At("h.ex"), "-"},
      {"a=1\r\nX-Injected: 1", At("h.ex"), "-"},
      {"a=b\tc", At("h.ex"), "-"},
  };
  for (const Case& c : cases) {
    const std::optional<Cookie> cookie = ParseSetCookie(c.value, c.from, kNow);
    std::string got = "-";
    if (cookie) {
      const std::string life = cookie->expires == 0          ? "session"
                               : cookie->Expired(kNow) ? "gone"
                                                       : std::to_string(cookie->expires - kNow);
      got = cookie->domain + "|" + (cookie->hostOnly ? "1" : "0") + "|" + cookie->path + "|" +
            (cookie->secure ? "1" : "0") + "|" + life;
    }
    EXPECT_EQ(got, c.expected) << c.value;
  }
}

TEST(CookieDate, the_forms_servers_write_and_the_ones_to_refuse) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
      {"Sun Nov  6 08:49:37 1994", 784111777},
      {"6 nov 1994 8:49:37", 784111777},
      {"Fri, 31 Dec 9999 23:59:59 GMT", kLatestExpiry},
      {"Tue, 29 Feb 2000 00:00:00 GMT", 951782400},
      {"Wed, 29 Feb 2001 00:00:00 GMT", -1},
      {"Sun, 06 Nov 1994 24:00:00 GMT", -1},
      {"Sun, 06 Nov 1600 08:49:37 GMT", -1},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseCookieDate(text).value_or(-1), expected) << text;
}

class CookieStoreFiles : public ::testing::Test {
 protected:
  std::unique_ptr<CookieStore> Store() {
    return std::make_unique<CookieStore>(Path(), [this] { return m_now; });
  }
  std::string Path() const { return m_dir / "cookies.txt"; }

  hv::test::TempFolder m_dir;
  // The real time: curl uses it too.
  std::int64_t m_now = ::time(nullptr);
};

TEST_F(CookieStoreFiles, expiry_session_and_order_of_the_header) {
  auto store = Store();
  const Origin page = At("h.ex", "/a/b/page");
  EXPECT_TRUE(store->SetCookie("short=1; Max-Age=60; Path=/", page));
  EXPECT_TRUE(store->SetCookie("deep=2; Max-Age=600", page));
  EXPECT_TRUE(store->SetCookie("session=3; Path=/a", page));
  EXPECT_TRUE(store->SetCookie("gone=4; Expires=Fri, 01 Jan 2100 00:00:00 GMT", page));
  EXPECT_TRUE(store->SetCookie("gone=4; Max-Age=-1", page));
  EXPECT_EQ(store->CookieHeader(page), "deep=2; session=3; short=1");
  EXPECT_EQ(store->CookieHeader(At("h.ex", "/a")), "session=3; short=1");

  // Nothing is written before the flush; then another process sees all
  // but the session cookie.
  EXPECT_FALSE(hv::fs::Exists(Path()));
  EXPECT_TRUE(store->Flush());
  EXPECT_EQ(Store()->CookieHeader(page), "deep=2; short=1");
  m_now += 60;
  EXPECT_EQ(store->CookieHeader(page), "deep=2; session=3");
  EXPECT_TRUE(store->SetCookie("deep=5; Max-Age=600; Path=/a/b", page));  // same key: replaced
  EXPECT_EQ(store->CookieHeader(page), "deep=5; session=3");

  struct stat st {};
  ASSERT_EQ(::stat(Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(CookieStoreFiles, hostile_lines_are_skipped_and_never_sent) {
  WriteText(Path(),
            "# comment\n"
            "h.ex\tFALSE\t/\tFALSE\t0\tok\tfine\r\n"
            "no tabs at all\n"
            "h.ex\tFALSE\t/\tFALSE\t0\tbad\tx\x01y\n"
            "h.ex\tFALSE\t/\tFALSE\t0\tsemi\ta; injected=1\n"
            "h.ex\tFALSE\t/\tFALSE\t-5\tnegative\t1\n"
            "h.ex\tFALSE\t/\tFALSE\t99999999999999999999999\tfar\t1\n"
            "h.ex\tFALSE\t/\tFALSE\t0\tnul\tx\0y\n"
            "h.ex\tFALSE\t/\tFALSE\t0\textra\t1\t2\n"
            "#HttpOnly_.H.EX\tTRUE\t/\tFALSE\t0\tho\t\n"
            "\xff\xfe\x00\x01binary"s);
  auto store = Store();
  EXPECT_EQ(store->CookieHeader(At("h.ex")), "ok=fine; far=1; ho=");

  // Written back, each kept cookie is one clean line; the rest are gone.
  EXPECT_TRUE(store->SetCookie("new=1; Max-Age=60", At("h.ex")));
  EXPECT_TRUE(store->Flush());
  const CookieList back = ParseCookiesFile(ReadText(Path()));
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[1].expires, kLatestExpiry);
  EXPECT_TRUE(back[2].httpOnly && !back[2].hostOnly);
  EXPECT_EQ(ReadText(Path()).find("injected"), std::string::npos);
}

TEST_F(CookieStoreFiles, a_file_that_is_not_a_small_regular_file_is_refused_and_left_alone) {
  const std::string zero = m_dir / "zero";
  ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
  const std::function<void(const std::string&)> makers[] = {
      [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
      [&](const std::string& p) { ASSERT_EQ(::symlink(zero.c_str(), p.c_str()), 0); },
      [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); },
      [](const std::string& p) {  // sparse: costs no disk
        WriteText(p, "h.ex\tFALSE\t/\tFALSE\t0\ta\t1\n");
        ASSERT_EQ(::truncate(p.c_str(), kMaxFileBytes + 1), 0);
      },
  };
  for (const auto& make : makers) {
    hv::fs::RemoveTree(Path());
    make(Path());
    struct stat before {};
    ::lstat(Path().c_str(), &before);
    auto store = Store();
    EXPECT_EQ(store->CookieHeader(At("h.ex")), "");
    EXPECT_FALSE(store->Problem().empty());
    // Kept for the process, while the file stays as it was.
    EXPECT_TRUE(store->SetCookie("kept=1; Max-Age=60", At("h.ex")));
    EXPECT_FALSE(store->Flush());
    EXPECT_EQ(store->CookieHeader(At("h.ex")), "kept=1");
    struct stat after {};
    ::lstat(Path().c_str(), &after);
    EXPECT_TRUE(before.st_ino == after.st_ino && before.st_size == after.st_size && before.st_mode == after.st_mode);
  }
}

TEST_F(CookieStoreFiles, a_link_in_place_of_the_file_is_replaced_and_what_it_names_is_left_alone) {
  hv::test::TempFolder elsewhere;
  const std::string outside = elsewhere / "system.txt", text = "h.ex\tFALSE\t/\tFALSE\t0\tread\t1\n";
  WriteText(outside, text);
  ASSERT_EQ(::chmod(outside.c_str(), 0644), 0);
  ASSERT_EQ(::symlink(outside.c_str(), Path().c_str()), 0);
  auto store = Store();
  EXPECT_TRUE(store->SetCookie("new=1; Max-Age=60", At("h.ex")));
  EXPECT_TRUE(store->Flush());
  EXPECT_EQ(ReadText(outside), text);
  struct stat st {};
  ASSERT_EQ(::stat(outside.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(::lstat(Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0600u);
  EXPECT_EQ(Store()->CookieHeader(At("h.ex")), "read=1; new=1");
}

TEST(CookieList, one_domain_cannot_push_out_the_others) {
  CookieList list;
  const auto cookie = [](const std::string& name, const char* domain) {
    return Cookie{name, "1", domain, "/", kNow + 60, true, false, false};
  };
  Put(list, cookie("other", "other.ex"), kNow);
  for (std::size_t i = 0; i < kMaxCookiesPerDomain + 20; ++i)
    Put(list, cookie("c" + std::to_string(i), "greedy.ex"), kNow);
  Put(list, cookie("c5", "greedy.ex"), kNow);  // replaced where it stands: no younger for it
  EXPECT_TRUE(Trim(list, kNow));
  ASSERT_EQ(list.size(), kMaxCookiesPerDomain + 1);
  EXPECT_EQ(list[0].name, "other");
  EXPECT_EQ(list[1].name, "c20");  // the oldest went
  EXPECT_TRUE(Trim(list, kNow + 60));
  EXPECT_TRUE(list.empty());
}

TEST_F(CookieStoreFiles, stores_of_several_processes_lose_no_cookie) {
  // Two stores on one file, each with what it read earlier still in memory.
  auto first = Store();
  auto second = Store();
  for (const auto& [store, value] : {std::pair{first.get(), "a=1; Max-Age=999"}, {second.get(), "b=1; Max-Age=999"},
                                     {first.get(), "c=1; Max-Age=999"}, {second.get(), "a=1; Max-Age=0"}}) {
    EXPECT_TRUE(store->SetCookie(value, At("h.ex")));
    EXPECT_TRUE(store->Flush());
  }
  EXPECT_EQ(first->CookieHeader(At("h.ex")), "b=1; c=1");

  // Writers at once, each with a store of its own, as separate processes have.
  constexpr int kWriters = 3, kEach = 5;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      auto store = Store();
      for (int i = 0; i < kEach; ++i) {
        store->SetCookie("w" + std::to_string(w) + "_" + std::to_string(i) + "=1; Max-Age=999", At("h.ex"));
        if (i % 2 == 0) store->Flush();  // the rest when the store ends
      }
    });
  for (std::thread& t : writers) t.join();
  EXPECT_EQ(ParseCookiesFile(ReadText(Path())).size(), std::size_t(2 + kWriters * kEach));
}

// Runs curl with the arguments, "PORT" in them standing for the port of a
// server on 127.0.0.1 that answers one request with the header lines, and
// returns the request curl sent; empty when curl failed.
std::string ServeCurl(std::vector<std::string> args, const std::string& headers) {
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  ::bind(server, reinterpret_cast<sockaddr*>(&addr), size);
  ::listen(server, 1);
  ::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &size);
  const timeval limit{10, 0};  // accept and recv wait no longer
  ::setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::vector<char*> argv{const_cast<char*>("curl")};
  for (std::string& arg : args) {
    if (const std::size_t at = arg.find("PORT"); at != std::string::npos)
      arg.replace(at, 4, std::to_string(ntohs(addr.sin_port)));
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  std::string request;
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) == 0) {
    if (const int client = ::accept(server, nullptr, nullptr); client >= 0) {
      ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      char buffer[4096];
      ssize_t n = 0;
      while (request.find("\r\n\r\n") == std::string::npos && (n = ::recv(client, buffer, sizeof buffer, 0)) > 0)
        request.append(buffer, static_cast<std::size_t>(n));
      const std::string answer = "HTTP/1.0 200 OK\r\n" + headers + "Content-Length: 0\r\n\r\n";
      (void)!::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
      ::close(client);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) request.clear();
  }
  ::close(server);
  return request;
}

TEST_F(CookieStoreFiles, curl_reads_our_file_and_we_read_curls) {
  if (std::system("curl --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "curl is not installed";
  auto store = Store();
  const Origin page = At("127.0.0.1", "/dir/page");
  ASSERT_TRUE(store->SetCookie("ours=1; Max-Age=3600", page));
  ASSERT_TRUE(store->SetCookie("elsewhere=2; Max-Age=3600; Path=/other", page));
  ASSERT_TRUE(store->SetCookie("session=3", page));  // not in the file: not sent
  ASSERT_TRUE(store->Flush());

  const std::string jar = m_dir / "curl.txt";
  const std::string request =
      ServeCurl({"-q", "-s", "-o", "/dev/null", "--noproxy", "*", "--max-time", "10", "-b", Path(), "-c", jar,
                 "http://127.0.0.1:PORT/dir/page"},
                "Set-Cookie: theirs=4; Max-Age=3600; Path=/dir\r\nSet-Cookie: brief=5\r\n");
  EXPECT_NE(request.find("\r\nCookie: ours=1\r\n"), std::string::npos) << request;

  // curl's jar holds what it read and what it was sent, in its own order.
  const std::string header = CookieStore(jar).CookieHeader(page);
  for (const char* cookie : {"theirs=4", "brief=5", "ours=1"})
    EXPECT_NE(header.find(cookie), std::string::npos) << header;
  EXPECT_EQ(header.find("elsewhere"), std::string::npos) << header;
}

}  // namespace
