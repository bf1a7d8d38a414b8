#include "platform/cookies/set_cookie.h"

#include <algorithm>
#include <string>

#include "platform/cookies/cookie_date.h"
#include "platform/cookies/public_suffix.h"

namespace hv::cookies {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view lower) { return LowerAscii(a) == lower; }

// Control bytes other than tab end the cookie: they would reach a request
// line or a file line as they are.
bool HasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7F;
  });
}

// "-" or a digit first, digits after; none otherwise. Seconds past the
// lifetime bound are cut to it, so no number is too long to read.
std::optional<std::int64_t> ParseMaxAge(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  std::int64_t seconds = 0;
  for (char c : text) seconds = std::min<std::int64_t>(seconds * 10 + (c - '0'), kMaxLifetime);
  return negative ? -seconds : seconds;
}

struct Attributes {
  std::optional<std::int64_t> maxAge;
  std::optional<std::int64_t> expires;
  std::optional<std::string> domain;
  std::optional<std::string> path;
  bool secure = false;
  bool httpOnly = false;
};

void ReadAttribute(std::string_view av, const Origin& origin, Attributes& a) {
  const std::size_t eq = av.find('=');
  const std::string_view name = Trim(av.substr(0, eq));
  const std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(av.substr(eq + 1));
  if (value.size() > kMaxAttributeBytes) return;
  if (EqualNoCase(name, "expires")) {
    if (const auto date = ParseCookieDate(value)) a.expires = date;
  } else if (EqualNoCase(name, "max-age")) {
    if (const auto seconds = ParseMaxAge(value)) a.maxAge = seconds;
  } else if (EqualNoCase(name, "domain")) {
    std::string_view domain = value;
    if (domain.starts_with('.')) domain.remove_prefix(1);
    if (!domain.empty()) a.domain = LowerAscii(domain);
  } else if (EqualNoCase(name, "path")) {
    a.path = value.starts_with('/') ? std::string(value) : DefaultPath(origin.path);
  } else if (EqualNoCase(name, "secure")) {
    a.secure = true;
  } else if (EqualNoCase(name, "httponly")) {
    a.httpOnly = true;
  }
}

}  // namespace

std::optional<Cookie> ParseSetCookie(std::string_view value, const Origin& origin, std::int64_t now) {
  if (HasControl(value) || !SafeHost(origin.host)) return std::nullopt;
  const std::size_t semicolon = value.find(';');
  const std::string_view pair = value.substr(0, semicolon);
  const std::size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return std::nullopt;

  Cookie cookie;
  cookie.name = Trim(pair.substr(0, eq));
  cookie.value = Trim(pair.substr(eq + 1));
  Attributes a;
  for (std::size_t pos = semicolon; pos != std::string_view::npos;) {
    const std::size_t next = value.find(';', pos + 1);
    ReadAttribute(value.substr(pos + 1, next == std::string_view::npos ? next : next - pos - 1), origin, a);
    pos = next;
  }

  if (a.maxAge) {
    cookie.expires = *a.maxAge <= 0 ? 1 : now + *a.maxAge;
  } else if (a.expires) {
    cookie.expires = std::clamp<std::int64_t>(*a.expires, 1, now + kMaxLifetime);
  }
  cookie.domain = origin.host;
  if (a.domain) {
    if (!DomainMatch(origin.host, *a.domain)) return std::nullopt;
    // A cookie for every site under a public suffix ("co.uk") is refused;
    // one naming the host itself ("localhost") stays the host's own. An
    // address has no subdomains.
    const bool suffix = !IsIpAddress(*a.domain) && IsPublicSuffix(*a.domain);
    if (suffix && *a.domain != origin.host) return std::nullopt;
    cookie.domain = *a.domain;
    cookie.hostOnly = suffix || IsIpAddress(origin.host);
  }
  cookie.path = a.path ? *a.path : DefaultPath(origin.path);
  cookie.secure = a.secure;
  cookie.httpOnly = a.httpOnly;
  if (cookie.secure && !origin.secure) return std::nullopt;
  if (!Storable(cookie)) return std::nullopt;
  return cookie;
}

}  // namespace hv::cookies
