#include "engine/retrieval/site_tests.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/http/url.h"
#include "engine/http/web_scheme.h"

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Upper(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

std::string Key(const char* url, unsigned flags) {
  std::string key;
  ComposeUrl(key, url ? url : "", nullptr, flags);
  return key;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Whether a server key ("host" or "host:port") names an address rather than
// a domain: an IPv6 address in brackets, or a host whose last label is a
// number, which browsers read as IPv4 ("127.0.0.1", "127.1", "0x7f.1").
bool IsAddressHost(std::string host) {
  if (host.starts_with('[')) return true;
  if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) host.resize(colon);
  if (host.ends_with('.')) host.pop_back();
  std::string_view label(host);
  if (const std::size_t dot = label.rfind('.'); dot != std::string_view::npos) label.remove_prefix(dot + 1);
  if (label.empty()) return false;
  if (label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
    for (const char c : label.substr(2))
      if (!IsHexDigit(c)) return false;
    return true;
  }
  for (const char c : label)
    if (c < '0' || c > '9') return false;
  return true;
}

// The host and the port a web address connects to, upper-cased: "http://h/"
// and "https://h/" are two servers, as their ports 80 and 443 differ. Other
// schemes keep the network location as written.
std::string ServerKey(const char* url) {
  std::string key = Upper(Key(url, URL_CONNECT_HOST));
  const std::uint16_t port = hv::http::DefaultPort(Key(url, URL_SCHEME));
  const std::size_t colon = key.rfind(':');
  const bool hasPort = colon != std::string::npos && key.find(']', colon) == std::string::npos;
  if (port != 0 && !key.empty() && !hasPort) key += ':' + std::to_string(port);
  return key;
}

// http and https name the same directories, as they name the same site.
bool SameSchemeFamily(const char* link, const char* page) {
  const std::string linkScheme = Upper(Key(link, URL_SCHEME));
  const std::string pageScheme = Upper(Key(page, URL_SCHEME));
  return linkScheme == pageScheme || (hv::http::DefaultPort(linkScheme) != 0 && hv::http::DefaultPort(pageScheme) != 0);
}

// How much of host comes before its site; 0 when the host is no longer
// than the site, so the whole host is the site.
std::size_t SitePrefixLength(const std::string& host) {
  if (host.size() < 4) return 0;
  // Generic domains are registered at the second level, most country
  // domains (".co.uk", ".com.au") at the third.
  constexpr std::string_view kGenericDomains = ".COM.EDU.NET.ORG.GOV.MIL.INT";
  const int labels = kGenericDomains.find(Upper(host.substr(host.size() - 4))) != std::string_view::npos ? 2 : 3;
  std::size_t end = host.size();
  for (int i = 0; i < labels; ++i) {
    const std::size_t dot = end == 0 ? std::string::npos : host.rfind('.', end - 1);
    if (dot == std::string::npos) return 0;
    end = dot;
  }
  return end;
}

}  // namespace

namespace hv {

bool SameServer(const char* link, const char* page) { return ServerKey(link) == ServerKey(page); }

bool SameSite(const char* link, const char* page) {
  const std::string linkHost = Key(link, URL_CONNECT_HOST);
  const std::string pageHost = Key(page, URL_CONNECT_HOST);
  // An address has no parent domain: its site is the address itself.
  if (IsAddressHost(linkHost) || IsAddressHost(pageHost)) return Upper(linkHost) == Upper(pageHost);
  const std::string site = linkHost.substr(SitePrefixLength(linkHost));
  return pageHost.ends_with(site);
}

bool SameDirectory(const char* link, const char* page) {
  // Empty text would compose to "/" and match any other empty text.
  if (!link || !page || !*link || !*page) return false;
  std::string linkDir = Upper(Key(link, URL_COMPARE_KEY));
  const std::string pageDir = Upper(Key(page, URL_COMPARE_KEY));
  if (linkDir.empty() || pageDir.empty()) return false;
  for (;;) {
    if (pageDir.starts_with(linkDir)) {
      return linkDir.back() == '/' || pageDir.size() == linkDir.size() || pageDir[linkDir.size()] == '/';
    }
    if (linkDir.back() == '/') return false;
    const std::size_t slash = linkDir.rfind('/');
    if (slash == std::string::npos) return false;
    linkDir.resize(slash + 1);  // the directory of the link, its "/" kept
  }
}

bool InDirectoryOf(const char* link, const char* page) {
  if (!link || !page) return false;
  const std::string server = Upper(Key(link, URL_CONNECT_HOST));
  if (server.empty() || server != Upper(Key(page, URL_CONNECT_HOST))) return false;
  if (!SameSchemeFamily(link, page)) return false;
  // Paths without their queries: a "/" in a query is no directory.
  const auto path = [](const char* url) {
    std::string text = Upper(Key(url, URL_REQUEST_PATH));
    text.resize(std::min(text.find('?'), text.size()));
    return text;
  };
  std::string directory = path(page);
  directory.resize(directory.rfind('/') + 1);  // the request path always begins with "/"
  return path(link).starts_with(directory);
}

}  // namespace hv
