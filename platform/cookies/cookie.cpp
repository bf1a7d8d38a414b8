#include "platform/cookies/cookie.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>

#include "platform/cookies/public_suffix.h"

namespace hv::cookies {

bool IsIpAddress(std::string_view host) {
  std::string text(host);
  if (text.size() > 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
  in6_addr address{};
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1 || ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool DomainMatch(std::string_view host, std::string_view domain) {
  if (host == domain) return true;
  return !domain.empty() && host.size() > domain.size() && host.ends_with(domain) &&
         host[host.size() - domain.size() - 1] == '.' && !IsIpAddress(host);
}

bool PathMatch(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath == cookiePath) return true;
  if (cookiePath.empty() || !requestPath.starts_with(cookiePath)) return false;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string DefaultPath(std::string_view requestPath) {
  if (requestPath.empty() || requestPath.front() != '/') return "/";
  const std::size_t last = requestPath.rfind('/');
  return last == 0 ? "/" : std::string(requestPath.substr(0, last));
}

bool Matches(const Cookie& cookie, const Origin& origin) {
  // A file may hold a cookie for every site under a public suffix, set by
  // some other program: it goes to the suffix's own host only.
  const bool hostMatches = cookie.hostOnly ? origin.host == cookie.domain
                                           : DomainMatch(origin.host, cookie.domain) &&
                                                 (origin.host == cookie.domain || !IsPublicSuffix(cookie.domain));
  return hostMatches && PathMatch(origin.path, cookie.path) && (!cookie.secure || origin.secure);
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool SafeText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == ';';
  });
}

bool SafeHost(std::string_view host) {
  if (host.empty() || host.size() > 255) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == ':' ||
           c == '[' || c == ']';
  });
}

bool Storable(const Cookie& cookie) {
  return !cookie.name.empty() && cookie.name.find('=') == std::string::npos && SafeText(cookie.name) &&
         SafeText(cookie.value) && cookie.name.size() + cookie.value.size() <= kMaxNameValueBytes &&
         SafeHost(cookie.domain) && cookie.path.starts_with('/') && cookie.path.size() <= kMaxAttributeBytes &&
         SafeText(cookie.path) && cookie.expires >= 0 && cookie.expires <= kLatestExpiry;
}

}  // namespace hv::cookies
