// One cookie as the store keeps it, the place a request goes to, and the
// matching rules that decide which cookies a request carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hv::cookies {

// Where a request goes, or where a response came from.
struct Origin {
  std::string host;  // lower case, no port
  std::string path;  // starts with '/', no query
  bool secure = false;
};

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // lower case, no leading '.'
  std::string path;
  std::int64_t expires = 0;  // seconds since 1970; 0 for a cookie of one session
  bool hostOnly = true;      // false: subdomains of domain match too
  bool secure = false;
  bool httpOnly = false;

  // Two cookies with the same key are one cookie in two versions.
  bool SameKey(const Cookie& other) const {
    return name == other.name && domain == other.domain && path == other.path;
  }
  bool Expired(std::int64_t now) const { return expires != 0 && expires <= now; }
};

// Bounds on what a server or a file can make us keep.
constexpr std::size_t kMaxNameValueBytes = 4096;
constexpr std::size_t kMaxAttributeBytes = 1024;
constexpr std::size_t kMaxCookies = 3000;
constexpr std::size_t kMaxCookiesPerDomain = 180;
// 31 December 9999, 23:59:59 UTC: the latest expiry kept.
constexpr std::int64_t kLatestExpiry = 253402300799;

// A host given as an IPv4 or IPv6 address: matched only as a whole.
bool IsIpAddress(std::string_view host);
bool DomainMatch(std::string_view host, std::string_view domain);
bool PathMatch(std::string_view requestPath, std::string_view cookiePath);
// The folder of a request path: up to, not including, its last '/'; "/" for
// a path with one '/' or none.
std::string DefaultPath(std::string_view requestPath);
// Whether the cookie goes with a request to the origin.
bool Matches(const Cookie& cookie, const Origin& origin);

// ASCII letters in lower case, other bytes as they are: host names compare
// so in any locale.
std::string LowerAscii(std::string_view text);

// Text that can go into a Cookie header and a line of the cookie file
// unchanged: no control byte (tab included) and no ';'.
bool SafeText(std::string_view text);
// A host or domain made of letters, digits, '.', '-', '_' (and ':' of an
// IPv6 address), so it can neither break a file line nor hide another name.
bool SafeHost(std::string_view host);
// A cookie whose every field passes the checks above.
bool Storable(const Cookie& cookie);

}  // namespace hv::cookies
