// Server, site and directory limits of a link relative to its page.
#include <string>

#include <gtest/gtest.h>

#include "engine/retrieval/site_tests.h"

namespace {

struct Case {
  const char* link;
  const char* page;
  bool expected;
};

std::string Describe(const Case& c) {
  return std::string(c.link ? c.link : "null") + " / " + (c.page ? c.page : "null");
}

TEST(SiteServer, compares_host_and_port) {
  const Case cases[] = {
      {"http://WWW.Example.com/a", "http://www.example.COM:80/b", true},
      {"http://www.example.com/a", "http://www.example.com:8080/a", false},
      {"http://www.example.com:8080/", "http://WWW.example.com:8080/x", true},
      {"http://www.example.com/", "http://example.com/", false},
      {"ftp://Host:80/", "ftp://host/", false},  // the default port is http's only
      {"ftp://Host/", "ftp://host/", true},
      // https listens on 443 unless told otherwise, http on 80.
      {"https://WWW.Example.com:443/a", "https://www.example.com/b", true},
      {"https://h/", "http://h/", false},
      {"https://h:80/", "http://h/", true},
      {"HTTPS://h:8443/", "https://H:8443/x", true},
      {"https://[::1]/", "https://[::1]:443/", true},
      {"https://[::1]/", "http://[::1]/", false},
      {"a.html", "b/c.html", true},  // relative links have no server of their own
      {"a.html", "http://s/", false},
      {nullptr, "", true},
      {nullptr, "http://s/", false},
  };
  for (const auto& c : cases) EXPECT_EQ(hv::SameServer(c.link, c.page), c.expected) << Describe(c);
}

TEST(SiteSite, page_host_ends_with_the_links_site) {
  const Case cases[] = {
      {"http://www.example.com/", "http://ftp.example.com/", true},
      {"http://www.example.com/", "http://example.com/", false},
      {"http://example.com/", "http://www.example.com/", true},
      {"http://example.com/", "http://myexample.com/", true},
      {"http://www.example.com/", "http://www.other.com/", false},
      {"http://a.b.example.org/", "http://example.org.x.example.org/", true},
      {"http://www.example.co.uk/", "http://news.example.co.uk/", true},
      {"http://www.example.co.uk/", "http://www.sample.co.uk/", false},
      // Too few labels for a site part: the whole host must end the page's.
      {"http://example.co.uk/", "http://myexample.co.uk/", true},
      {"http://example.co.uk/", "http://www.sample.co.uk/", false},
      {"http://www.example.com/", "http://ftp.EXAMPLE.com/", true},  // hosts are lower-cased first
      {"ftp://www.example.com/", "ftp://ftp.EXAMPLE.com/", false},   // but only http hosts
      {"http://www.example.com:8080/", "http://www.example.com/", false},
      // The same site whether reached over http or https.
      {"https://www.example.com/", "http://ftp.example.com/", true},
      {"http://www.example.com/", "HTTPS://WWW.EXAMPLE.com:443/", true},
      {"https://www.example.com:8443/", "http://www.example.com/", false},
      {"a.html", "b.html", true},
      {"http://abc/", "http://xabc/", true},
      {nullptr, nullptr, true},
  };
  for (const auto& c : cases) EXPECT_EQ(hv::SameSite(c.link, c.page), c.expected) << Describe(c);
}

// An address has no parent domain, so no suffix of it is a site.
TEST(SiteSite, an_address_is_its_own_site) {
  const Case cases[] = {
      {"http://10.0.0.1/", "http://127.0.0.1/", false},
      {"http://27.0.0.1/", "http://127.0.0.1/", false},
      {"http://0.0.1/", "http://127.0.0.1/", false},
      {"http://127.0.0.1/", "http://10.127.0.0.1/", false},
      {"http://127.0.0.1/a", "http://127.0.0.1:80/b", true},
      {"https://127.0.0.1:443/a", "http://127.0.0.1/b", true},
      {"http://127.0.0.1:8443/", "https://127.0.0.1:8443/", true},
      {"http://127.0.0.1:8080/", "http://127.0.0.1:8081/", false},
      {"http://1.example.com/", "http://127.0.0.1/", false},
      {"http://0x7f.1/", "http://1.0x7f.1/", false},
      {"http://127.0.0.1./", "http://1.127.0.0.1./", false},
      {"http://[::1]/", "http://[::1]/", true},
      {"http://[::1]:8080/", "http://[0::1]:8080/", false},
      {"http://[::1]/", "http://a[::1]/", false},
      {"http://[FE80::1]/", "http://[fe80::1]/", true},
      {"http://www.example1.com/", "http://ftp.example1.com/", true},  // a digit in a name is no address
  };
  for (const auto& c : cases) EXPECT_EQ(hv::SameSite(c.link, c.page), c.expected) << Describe(c);
}

TEST(SiteDirectory, page_inside_the_links_directory) {
  const Case cases[] = {
      {"http://h/dir/a.htm", "http://h/dir/b.htm", true},
      {"http://h/dir/a.htm", "http://h/dir/sub/c.htm", true},
      {"http://h/dir/sub/c.htm", "http://h/dir/a.htm", false},
      {"http://h/dirx/a.htm", "http://h/dir/b.htm", false},
      {"http://h/dir/a.htm", "http://h/dirx/b.htm", false},
      {"http://H/DIR/a.htm", "http://h/dir/B.HTM", true},
      {"http://h/dir/", "http://h/dir/sub/", true},
      {"http://h/dir", "http://h/dir", true},
      {"http://h/dir", "http://h/dir/x.htm", true},
      {"http://h/dir", "http://h/dirx", false},
      {"http://h/dir/a.htm", "http://g/dir/b.htm", false},
      {"http://h/a.htm", "http://h/b.htm", false},  // the host alone is not a directory
      {"http://h/dir/a.htm", "http://h:81/dir/b.htm", false},
      {"sub/a.htm", "sub/b.htm", true},
      {"a.htm", "b.htm", false},
      {"", "", false},
      {nullptr, "http://h/dir/a.htm", false},
      {"http://h/dir/a.htm", nullptr, false},
  };
  for (const auto& c : cases) EXPECT_EQ(hv::SameDirectory(c.link, c.page), c.expected) << Describe(c);
}

TEST(SiteDirectory, link_inside_the_pages_directory) {
  const Case cases[] = {
      {"http://h/docs/b.html", "http://h/docs/index.html", true},
      {"http://h/docs/sub/c.html", "http://h/docs/index.html", true},
      {"http://h/docs/", "http://h/docs/index.html", true},
      {"http://h/top.html", "http://h/docs/index.html", false},
      {"http://h/docs", "http://h/docs/index.html", false},
      {"http://h/docsx/a.html", "http://h/docs/index.html", false},
      {"http://H/DOCS/Sub/", "http://h/docs/index.html", true},
      {"http://h/any/where.html", "http://h/", true},
      {"http://h/any/where.html", "http://h", true},
      {"http://h/q/x.html", "http://h/docs/index.html?to=/q/", false},  // a query holds no directory
      {"http://h/docs/x.html?to=/", "http://h/docs/index.html", true},
      {"http://g/docs/b.html", "http://h/docs/index.html", false},
      {"http://h:81/docs/b.html", "http://h/docs/index.html", false},
      {"http://hdocs/b.html", "http://h/docs/index.html", false},
      {"ftp://h/docs/b.html", "http://h/docs/index.html", false},
      {"HTTPS://h/docs/b.html", "http://h/docs/index.html", true},
      {"http://h/docs/b.html", "https://h:443/docs/index.html", true},
      {"docs/b.html", "docs/index.html", false},  // no server, no directory
      {nullptr, "http://h/docs/index.html", false},
      {"http://h/docs/b.html", nullptr, false},
  };
  for (const auto& c : cases) EXPECT_EQ(hv::InDirectoryOf(c.link, c.page), c.expected) << Describe(c);
}

}  // namespace
