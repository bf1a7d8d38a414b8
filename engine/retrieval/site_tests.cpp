#include "engine/retrieval/site_tests.h"

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/http/url.h"

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

bool SameServer(const char* link, const char* page) {
  return Upper(Key(link, URL_CONNECT_HOST)) == Upper(Key(page, URL_CONNECT_HOST));
}

bool SameSite(const char* link, const char* page) {
  const std::string linkHost = Key(link, URL_CONNECT_HOST);
  const std::string pageHost = Key(page, URL_CONNECT_HOST);
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

}  // namespace hv
