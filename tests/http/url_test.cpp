// Splitting, resolution and dot-segment removal of URLs.
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/http/url.h"
#include "engine/http/web_scheme.h"

namespace {

std::string Show(const char* part) { return part ? "\"" + std::string(part) + "\"" : "(none)"; }

std::string Compose(const char* url, const char* base, unsigned flags) {
  std::string result;
  ComposeUrl(result, url, base, flags);
  return result;
}

std::string WithoutDots(std::string text) {
  RemoveDotSegments(text);
  return text;
}

using Pairs = std::vector<std::pair<const char*, const char*>>;

TEST(UrlSplit, parts_of_each_kind_of_url) {
  struct Case {
    const char *url, *scheme, *host, *path, *relative, *fragment;
  };
  const Case cases[] = {
      {"HTTP://Server:80/A/b.html#top", "HTTP", "server", "A/b.html", nullptr, "top"},
      {"http://Server:8080/", "http", "server:8080", "", nullptr, nullptr},
      {"ftp://Server:80/", "ftp", "Server:80", "", nullptr, nullptr},
      {"HTTPS://Server:443/A#t", "HTTPS", "server", "A", nullptr, "t"},
      {"https://S:0443", "https", "s", nullptr, nullptr, nullptr},
      {"https://Server:80/", "https", "server:80", "", nullptr, nullptr},  // each scheme its own port
      {"http://Server:443/", "http", "server:443", "", nullptr, nullptr},
      {"https://S:65979/", "https", "s:65979", "", nullptr, nullptr},  // 443 beyond 16 bits
      {"httpsx://Server:443/", "httpsx", "Server:443", "", nullptr, nullptr},
      {"//Server:80/x", nullptr, "Server:80", "x", nullptr, nullptr},  // no scheme: not known to be http
      {"http://S:080/", "http", "s", "", nullptr, nullptr},
      {"http://S:80x/", "http", "s:80x", "", nullptr, nullptr},  // not a port number
      {"http://[::1]:80/", "http", "[::1]", "", nullptr, nullptr},
      {"http://h/a?x=1/2#f", "http", "h", "a?x=1/2", nullptr, "f"},
      {"http://s#frag/x", "http", "s", nullptr, nullptr, "frag/x"},
      {"../x", nullptr, nullptr, nullptr, "../x", nullptr},
      {"/abs/p", nullptr, nullptr, "abs/p", nullptr, nullptr},
      {"mailto:name", "mailto", nullptr, nullptr, "name", nullptr},
      {"a:b:c", "a", nullptr, nullptr, "c", nullptr},
      {"x/y:z", nullptr, nullptr, nullptr, "x/y:z", nullptr},
      {"p.html#x#y", nullptr, nullptr, nullptr, "p.html", "x"},
      {"//", nullptr, "", nullptr, nullptr, nullptr},
      {":::", "", nullptr, nullptr, nullptr, nullptr},
      {"", nullptr, nullptr, nullptr, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    std::string text = c.url;
    UrlParts p{};
    SplitUrl(text.data(), p);
    EXPECT_EQ(Show(p.scheme) + Show(p.host) + Show(p.path) + Show(p.relative) + Show(p.fragment),
              Show(c.scheme) + Show(c.host) + Show(c.path) + Show(c.relative) + Show(c.fragment))
        << c.url;
  }
}

TEST(UrlCompose, links_resolve_against_their_page_and_flags_pick_the_parts) {
  struct Case {
    unsigned flags;
    const char *url, *base, *expected;
  };
  const Case cases[] = {
      {URL_CANONICAL, "../c.html", "http://s/a/b/page.html", "http://s/a/c.html"},
      {URL_CANONICAL, "c.html", "http://s/a/p.html?x=1/2", "http://s/a/c.html"},
      {URL_CANONICAL, "/d.html", "http://s:8080/a/", "http://s:8080/d.html"},
      {URL_CANONICAL, "//t/x", "http://s/a/", "http://t/x"},
      {URL_CANONICAL, "http://s", nullptr, "http://s/"},
      {URL_CANONICAL, "?q=1", "http://s/a/p.html", "http://s/a/?q=1"},
      {URL_CANONICAL, "mailto:name", "http://s/a/", "mailto:name"},
      {URL_CANONICAL, "x.html", "https://S:443/a/", "https://s/a/x.html"},
      {URL_CANONICAL, "//t/x", "https://s/a/", "https://t/x"},
      {URL_CANONICAL, "http://s/b", "https://s/a/", "http://s/b"},
      {URL_CANONICAL, "x.html", "HTTP://S:80/a/", "HTTP://s/a/x.html"},
      {URL_CANONICAL, "HTTP:x.html", "http://s/a/", "HTTP:x.html"},  // schemes compare with case
      {URL_CANONICAL, "g", "http://s", "http://s/g"},
      {URL_CANONICAL, "g", "http://s?x/a/b", "http://s?x/a/g"},  // "?" in the host is no query
      {URL_CANONICAL, "", "page.html", "page.html"},
      {URL_CANONICAL, "http://s/a/./b", nullptr, "http://s/a/./b"},  // absolute paths are taken as written
      {URL_CANONICAL_FRAGMENT, "#sec", "http://s/a/p.html", "http://s/a/p.html#sec"},
      {URL_CANONICAL_FRAGMENT, "q.html", "http://s/p.html#sec", "http://s/q.html#sec"},
      {URL_CANONICAL_FRAGMENT, "//t/q.html", "http://s/p.html#sec", "http://t/q.html"},
      {URL_FRAGMENT_ONLY, "http://s/p#sec", nullptr, "#sec"},
      {URL_FRAGMENT_ONLY, "http://s/p", nullptr, ""},
      {URL_REQUEST_PATH, "http://proxy:8080/http://s/x", nullptr, "/http://s/x"},
      {URL_REQUEST_PATH, "../c", "http://s/a/b/p", "/a/c"},
      {URL_CONNECT_HOST, "http://s:81/x", nullptr, "s:81"},
      {URL_CONNECT_HOST, "x.html", nullptr, ""},
      {URL_SCHEME, "http://s/x", nullptr, "http"},
      {URL_SCHEME | URL_SEPARATORS, "x", nullptr, ""},  // no scheme, no stray ":"
      {URL_COMPARE_KEY, "http://H/dir/page.htm", nullptr, "hdir/page.htm"},
      {URL_COMPARE_KEY, "http://H/", nullptr, "h"},
      {URL_COMPARE_KEY, "http://H", nullptr, "h/"},
      {URL_COMPARE_KEY, "../c", "http://s/x", "s/c"},  // ".." stops at the host even without "//"
  };
  for (const auto& c : cases)
    EXPECT_EQ(Compose(c.url, c.base, c.flags), c.expected) << c.url << " on " << Show(c.base) << " flags " << c.flags;

  std::string text = "../c.html";  // the result may be the link's own text
  ComposeUrl(text, text.c_str(), "http://s/a/b/p.html", URL_CANONICAL);
  EXPECT_EQ(text, "http://s/a/c.html");
}

// RFC 3986 5.4.1 with its base; comments mark where our rules knowingly differ.
TEST(UrlCompose, reference_resolution_examples) {
  const Pairs cases = {
      {"g", "http://a/b/c/g"},          {"./g", "http://a/b/c/g"},     {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},             {"g?y", "http://a/b/c/g?y"},   {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},      {"g?y#s", "http://a/b/c/g?y#s"}, {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},      {"g;x?y#s", "http://a/b/c/g;x?y#s"}, {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},           {"./", "http://a/b/c/"},       {"..", "http://a/b/"},
      {"../", "http://a/b/"},           {"../g", "http://a/b/g"},      {"../..", "http://a/"},
      {"../../", "http://a/"},          {"../../g", "http://a/g"},     {"../../../g", "http://a/g"},
      {"g?y/./x", "http://a/b/c/g?y/./x"}, {"g:h", "g:h"},
      {"//g", "http://g/"},          // an empty path is written as "/"
      {"?y", "http://a/b/c/?y"},     // a query replaces the last segment like any relative link
  };
  for (const auto& [url, expected] : cases)
    EXPECT_EQ(Compose(url, "http://a/b/c/d;p?q", URL_CANONICAL_FRAGMENT), expected) << '"' << url << '"';
}

TEST(UrlCompose, a_kept_base_resolves_as_the_base_text_does) {
  // A kept base writes its folder once; every link must come out as
  // resolving against the base's text gives it.
  const char* bases[] = {"http://a/b/c/d;p?q", "http://A:80/x/../y/z.html", "https://h/dir/", "http://h",
                         "http://h/p?q=/a/b", "http://h/a/..", "ftp://f/a/b", "/local/page.html", "page.html",
                         "http://h/a/b/../../../c"};
  const char* links[] = {"g", "./g", "../g", "../../../g", "?y", "#s", "g#s", "/abs", "//other/p", "http://h/x",
                         "https://h/x", "mailto:a@b", "", ".", "..", "g?y/../x", "a/./b/../c", "d%20e f"};
  for (const char* base : bases) {
    const CUrlBase kept{std::string(base)};
    for (const char* link : links)
      for (unsigned flags : {URL_CANONICAL, URL_CANONICAL_FRAGMENT, URL_PATH}) {
        std::string result;
        kept.Compose(result, link, flags);
        EXPECT_EQ(result, Compose(link, base, flags)) << '"' << link << "\" against \"" << base << "\" " << flags;
      }
  }
}

TEST(UrlDotSegments, removal_stays_inside_the_path) {
  const Pairs cases = {
      {"http://s/a/b/../c/./d.html", "http://s/a/c/d.html"}, {"http://s/../x", "http://s/x"},
      {"http://s/a/../../x", "http://s/x"},    {"http://s/..", "http://s/"},
      {"http://s/a/b/..", "http://s/a/"},      {"http://s/a/.", "http://s/a/"},
      {"http://s/a/..b/.c", "http://s/a/..b/.c"}, {"http://s:81/a/../b", "http://s:81/b"},
      {"http://s/a/../b?x=/../y#/./z", "http://s/b?x=/../y#/./z"},  // queries are data
      {"http://./x", "http://./x"},            {"http:/a/../../b", "http:/b"},
      {"//h/../x", "//h/x"},                   {"mailto:a/../b", "mailto:b"},
      {"p?x:y/../z", "p?x:y/../z"},            {"/a/b/../../..", "/"},
      {"a/../b", "b"},                         {"a/../../b", "../b"},
      {"../x", "../x"},                        {"a/./b", "a/b"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(WithoutDots(text), expected) << text;
}

TEST(UrlExtension, last_dot_of_the_file_name_lower_cased) {
  const Pairs cases = {{"PAGE.HTM", ".htm"}, {"dir.d/file", ""}, {"dir.d\\file", ""}, {"a.tar.GZ", ".gz"},
                       {"noext", ""},        {"trailing.", "."}, {"http://s.com/", ""}};
  for (const auto& [name, expected] : cases) {
    std::string ext = "stale";
    ExtensionOf(name, ext);
    EXPECT_EQ(ext, expected) << name;
  }
  std::string same = "A.B";
  ExtensionOf(same, same);
  EXPECT_EQ(same, ".b");
}

TEST(UrlWebScheme, http_and_https_alone_are_of_the_web) {
  struct Case {
    const char* address;
    std::size_t schemeLength;
    bool prefix;
  };
  const Case cases[] = {
      {"http://h/", 5, true}, {"HTTPS://h/", 6, true}, {"https:x", 6, false}, {"Http:", 5, false},
      {"https", 0, false},    {"httpx://h/", 0, false}, {"ftp://h/", 0, false}, {"x/https://h", 0, false},
      {":", 0, false},        {"", 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hv::http::WebSchemeLength(c.address), c.schemeLength) << c.address;
    EXPECT_EQ(hv::http::HasWebPrefix(c.address), c.prefix) << c.address;
  }
  const std::pair<const char*, int> ports[] = {{"HTTP", 80}, {"https", 443}, {"ftp", 0}, {"", 0}};
  for (const auto& [scheme, port] : ports) EXPECT_EQ(hv::http::DefaultPort(scheme), port) << scheme;
}

TEST(UrlHostile, odd_and_huge_input_stays_in_bounds) {
  std::vector<std::string> inputs = {std::string(5000, ':'), std::string(5000, '#'), "///", "/..", "..",
                                     "http://" + std::string(100000, 'a') + "/" + std::string(100000, 'b')};
  std::string dots = "http://s";
  for (int i = 0; i < 20000; ++i) dots += (i % 3 == 0) ? "/.." : (i % 3 == 1) ? "/." : "/seg";
  inputs.push_back(dots);
  std::mt19937 random(12345);
  const std::string alphabet = ":/#?.%@[]\\\x01\x7f\xff\xe9 aZ";
  for (int i = 0; i < 3000; ++i) {
    std::string junk(random() % 40, ' ');
    for (char& c : junk) c = alphabet[random() % alphabet.size()];
    inputs.push_back(junk);
  }

  for (const auto& url : inputs) {
    std::vector<char> buffer(url.begin(), url.end());
    buffer.push_back('\0');
    UrlParts parts{};
    SplitUrl(buffer.data(), parts);
    for (const char* part : {parts.scheme, parts.host, parts.path, parts.relative, parts.fragment}) {
      if (!part) continue;
      const char* end = buffer.data() + buffer.size();
      ASSERT_TRUE(part >= buffer.data() && part < end) << url;
      ASSERT_NE(std::memchr(part, '\0', static_cast<std::size_t>(end - part)), nullptr) << url;
    }
    for (unsigned flags = 0; flags < 32; ++flags) {
      std::string result;
      ComposeUrl(result, "../x/./y", url.c_str(), flags);
      ComposeUrl(result, url.c_str(), "http://s/a/b", flags);
    }
    const std::string once = WithoutDots(url);
    EXPECT_EQ(WithoutDots(once), once) << "removal is not complete for " << url.substr(0, 80);
  }
  EXPECT_EQ(WithoutDots(dots).substr(0, 9), "http://s/");

  UrlParts parts{};
  parts.host = dots.data();
  SplitUrl(nullptr, parts);
  EXPECT_EQ(parts.host, nullptr);
}

// ".." never reaches the host, and no dot segment survives in the path.
TEST(UrlHostile, random_dot_paths_keep_the_host) {
  std::mt19937 random(777);
  const char* segments[] = {"a", "b", "..", ".", "", "x.y", "..z"};
  for (int i = 0; i < 2000; ++i) {
    std::string path;
    for (int n = static_cast<int>(random() % 8); n >= 0; --n) path += std::string("/") + segments[random() % 7];
    const std::string result = WithoutDots("http://h:1" + path + "?q=/../");
    ASSERT_EQ(result.substr(0, 11), "http://h:1/") << path;
    const std::string resultPath = result.substr(10, result.find('?') - 10) + "/";
    EXPECT_EQ(resultPath.find("/../"), std::string::npos) << path;
    EXPECT_EQ(resultPath.find("/./"), std::string::npos) << path;
    EXPECT_EQ(result.substr(result.find('?')), "?q=/../") << path;
  }
}

}  // namespace
