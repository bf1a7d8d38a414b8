// Header blocks found in the received bytes and their fields read into the
// page record, as servers of every kind send them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "engine/cache/page_descr.h"
#include "engine/http/http_header.h"

namespace {

using namespace std::string_view_literals;

TEST(HttpHeaderEnd, EarlierMarkerEndsTheBlock) {
  const struct {
    std::string_view text;
    std::size_t length;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"sv, 25},
      {"HTTP/1.0 200 OK\nA: b\n\nbody"sv, 22},
      {"HTTP/1.0 200 OK\nA: b\n\nx\r\n\r\n"sv, 22},
      {"HTTP/1.0 200 OK\r\n\r\nx\n\n"sv, 19},
      {"HTTP/1.0 200 OK\r\n\nbody"sv, 18},
      {"\n\n"sv, 2},
      {"HTTP/1.0 200 OK\r\nA: b\r\n\r"sv, 0},
      {"HTTP/1.0 200 OK\n\r\n"sv, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FindHeaderEnd(std::string(c.text)), c.length) << c.text;
}

TEST(HttpHeaderStatus, LineCodeAndText) {
  const struct {
    std::string_view block, line;
    std::int32_t code;
    std::string_view text;
  } cases[] = {
      {"HTTP/1.0 404 Not Found\r\n\r\n"sv, "HTTP/1.0", 404, "Not Found"},
      {"HTTP/1.0 304\r\nServer: x\r\n\r\n"sv, "HTTP/1.0", 304, ""},
      {"HTTP/1.0 99\r\nServer: x\r\n\r\n"sv, "HTTP/1.0", 99, ""},
      {"HTTP/1.0 200 \x1b[2JOK\r\n\r\n"sv, "HTTP/1.0", 200, "[2JOK"},
      {"garbage\n\n"sv, "garbage", 0, "garbage\n\n"},
      {"HTTP/1.0 abc\r\n\r\n"sv, "HTTP/1.0", 0, "HTTP/1.0 abc\r\n\r\n"},
      {"HTTP/1.0 99999999999 Big\r\n\r\n"sv, "HTTP/1.0", 0, "HTTP/1.0 99999999999 Big\r\n\r\n"},
  };
  for (const auto& c : cases) {
    CPageDescr page;
    ParseHttpHeader(std::string(c.block), page, [](const std::string&) {});
    EXPECT_EQ(page.m_strStatusLine, c.line) << c.block;
    EXPECT_EQ(page.m_nStatusCode, c.code) << c.block;
    EXPECT_EQ(page.m_strStatusText, c.text) << c.block;
  }
}

// Each case lists only the fields it sets; every other field must keep the
// value the record had before.
struct FieldCase {
  std::string_view block;
  std::int32_t length = 7;
  std::string_view type = "old", title = "old", realm = "old", location = "old";
  std::vector<std::string> cookies = {};
};

TEST(HttpHeaderFields, ValuesTakenOrLeftAlone) {
  const FieldCase cases[] = {
      {.block = "HTTP/1.0 200 OK\r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\ncontent-length: 10\r\n\r\n"sv, .length = 10},
      {.block = "HTTP/1.0 200 OK\r\nContent-Length:  2147483647 \t\r\n\r\n"sv, .length = 2147483647},
      {.block = "HTTP/1.0 200 OK\r\nContent-Length:10\r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\nContent-Length: 2147483648\r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\nContent-Length: \r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n"sv, .length = 5},
      {.block = "HTTP/1.0 200 OK\nContent-Type: text/html; charset=UTF-8\nTitle: A Page\n\n"sv,
       .type = "text/html; charset=UTF-8",
       .title = "A Page"},
      // Names count at the start of a line only.
      {.block = "HTTP/1.0 200 OK\r\nX-Note: Title: inside\r\n\r\n"sv},
      {.block = "HTTP/1.0 302 Moved\r\nContent-Location: /elsewhere\r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\nX-Echo: q set-cookie: a=1\r\n\r\n"sv},
      {.block = "HTTP/1.0 401 No\r\nX-WWW-Authenticate: Basic realm=x\r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\nTitle: a\0b\x7f\x1b" "c\tT\r\n\r\n"sv, .title = "abc\tT"},
      {.block = "HTTP/1.0 401 No\r\nWWW-Authenticate: Basic realm=\"Our Site\"\r\n\r\n"sv, .realm = "Our Site"},
      {.block = "HTTP/1.0 401 No\r\nWWW-Authenticate: Basic\r\n\r\n"sv, .realm = "Basic"},
      {.block = "HTTP/1.0 401 No\r\nwww-authenticate: basic REALM= \t plain rest\r\n\r\n"sv, .realm = "plain"},
      {.block = "HTTP/1.0 401 No\r\nWWW-Authenticate: Basic realm\r\n\r\n"sv},
      {.block = "HTTP/1.0 401 No\r\nWWW-Authenticate: Basic realm=\"open\r\n\r\n"sv, .realm = "open"},
      // A value never runs into the next line.
      {.block = "HTTP/1.0 401 No\r\nWWW-Authenticate: Basic realm=\"a\r\nX: b\"\r\n\r\n"sv, .realm = "a"},
      {.block = "HTTP/1.0 401 No\r\nWWW-Authenticate: Basic\r\nX: realm=evil\r\n\r\n"sv, .realm = "Basic"},
      {.block = "HTTP/1.0 302 Moved\r\nLocation:http://s/\r\nX: http://evil/\r\n\r\n"sv},
      {.block = "HTTP/1.0 302 Moved\r\nLocation: http://s/a b\r\nlocation: http://s/2\r\n\r\n"sv,
       .location = "http://s/a"},
      {.block = "HTTP/1.0 302 Moved\r\nLocation: http://s/\x1b[0m\r\n\r\n"sv, .location = "http://s/[0m"},
      {.block = "HTTP/1.0 302 Moved\r\nLocation:http://s/\r\n\r\n"sv},
      {.block = "HTTP/1.0 200 OK\r\nSet-Cookie: a=1; Path=/\r\nX: y\r\nset-cookie: b=2\nSet-Cookie:c\r\n"
                "SET-COOKIE: d=4\r\n\r\n"sv,
       .cookies = {"a=1; Path=/", "b=2", "d=4"}},
      {.block = "HTTP/1.0 200 OK\r\nSet-Cookie: a=1"sv},
      {.block = "HTTP/1.0 200 OK\r\nSet-Cookie:a=1\r\n\r\n"sv},
  };
  for (const auto& c : cases) {
    CPageDescr page;
    page.m_nContentLength = 7;
    page.m_strContentType = page.m_strTitle = page.m_strRealm = page.m_strLocation = "old";
    page.m_strLastModifiedText = "old";
    page.m_tLastModified = 5;
    page.m_bFlag = 9;
    std::vector<std::string> cookies;
    ParseHttpHeader(std::string(c.block), page, [&](const std::string& value) { cookies.push_back(value); });
    EXPECT_EQ(page.m_nContentLength, c.length) << c.block;
    EXPECT_EQ(page.m_strContentType, c.type) << c.block;
    EXPECT_EQ(page.m_strTitle, c.title) << c.block;
    EXPECT_EQ(page.m_strRealm, c.realm) << c.block;
    EXPECT_EQ(page.m_strLocation, c.location) << c.block;
    EXPECT_EQ(cookies, c.cookies) << c.block;
    EXPECT_EQ(page.m_strLastModifiedText, "old") << c.block;
    EXPECT_EQ(page.m_tLastModified, 5u) << c.block;
    EXPECT_EQ(page.m_bFlag, 9) << c.block;
  }
}

TEST(HttpHeaderLastModified, TimeAndModifiedMarkAgainstStoredCopy) {
  constexpr std::uint32_t kTime = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  const struct {
    std::string_view value;
    std::uint32_t storedAt;
    std::uint32_t time;
    std::int32_t flag;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 0, kTime, 1},
      {"Sun, 06 Nov 1994 08:49:37 GMT", kTime, kTime, 1},
      {"Sun, 06 Nov 1994 08:49:37 GMT", kTime + 1, kTime, 0},
      {"yesterday", 0, 0, 0},
      {"Thu, 01 Jan 1960 00:00:00 GMT", 0, 0, 0},
  };
  for (const auto& c : cases) {
    CPageDescr page;
    page.m_tStoredAt = c.storedAt;
    page.m_bFlag = 9;
    ParseHttpHeader("HTTP/1.0 200 OK\r\nlast-modified: " + std::string(c.value) + "\r\n\r\n", page,
                    [](const std::string&) {});
    EXPECT_EQ(page.m_strLastModifiedText, c.value);
    EXPECT_EQ(page.m_tLastModified, c.time) << c.value;
    EXPECT_EQ(page.m_bFlag, c.flag) << c.value;
  }
}

}  // namespace
