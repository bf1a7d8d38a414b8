#include "platform/cookies/cookies_file.h"

#include <array>
#include <optional>
#include <unordered_map>

namespace hv::cookies {

namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";

std::optional<bool> ParseFlag(std::string_view field) {
  if (field == "TRUE" || field == "true") return true;
  if (field == "FALSE" || field == "false") return false;
  return std::nullopt;
}

// Digits only; a date past the last one kept is cut to it.
std::optional<std::int64_t> ParseExpiry(std::string_view field) {
  if (field.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min<std::int64_t>(value * 10 + (c - '0'), kLatestExpiry);
  }
  return value;
}

std::optional<Cookie> ParseLine(std::string_view line) {
  Cookie cookie;
  if (line.starts_with(kHttpOnlyPrefix)) {
    line.remove_prefix(kHttpOnlyPrefix.size());
    cookie.httpOnly = true;
  } else if (line.empty() || line.starts_with('#')) {
    return std::nullopt;
  }
  std::array<std::string_view, 7> fields{};
  std::size_t count = 0;
  for (;;) {
    const std::size_t tab = line.find('\t');
    if (count == fields.size()) return std::nullopt;  // an eighth field
    fields[count++] = line.substr(0, tab);
    if (tab == std::string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  if (count < 6) return std::nullopt;  // six: a cookie with an empty value

  std::string_view domain = fields[0];
  if (domain.starts_with('.')) domain.remove_prefix(1);
  cookie.domain = LowerAscii(domain);
  const auto subdomains = ParseFlag(fields[1]);
  const auto secure = ParseFlag(fields[3]);
  const auto expires = ParseExpiry(fields[4]);
  if (!subdomains || !secure || !expires) return std::nullopt;
  cookie.hostOnly = !*subdomains;
  cookie.path = fields[2];
  cookie.secure = *secure;
  cookie.expires = *expires;
  cookie.name = fields[5];
  cookie.value = fields[6];
  if (!Storable(cookie)) return std::nullopt;
  return cookie;
}

std::string KeyOf(const Cookie& c) { return c.name + '\t' + c.domain + '\t' + c.path; }

}  // namespace

CookieList ParseCookiesFile(std::string_view text) {
  CookieList list;
  std::unordered_map<std::string, std::size_t> index;  // key -> position in list
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::optional<Cookie> cookie = ParseLine(line);
    if (!cookie) continue;
    const auto [it, added] = index.try_emplace(KeyOf(*cookie), list.size());
    if (added) {
      list.push_back(std::move(*cookie));
    } else {
      list[it->second] = std::move(*cookie);
    }
    // A file of many small lines must not hold more than a bounded list.
    if (list.size() > 2 * kMaxCookies) {
      Trim(list, 0);
      index.clear();
      for (std::size_t i = 0; i < list.size(); ++i) index.emplace(KeyOf(list[i]), i);
    }
  }
  Trim(list, 0);
  return list;
}

std::string FormatCookiesFile(const CookieList& list) {
  std::string text =
      "# Netscape HTTP Cookie File\n"
      "# Written by Harvion. Fields: domain, subdomains too, path, secure only, expiry, name, value.\n\n";
  for (const Cookie& c : list) {
    if (c.httpOnly) text += kHttpOnlyPrefix;
    if (!c.hostOnly) text += '.';
    text += c.domain;
    text += c.hostOnly ? "\tFALSE\t" : "\tTRUE\t";
    text += c.path;
    text += c.secure ? "\tTRUE\t" : "\tFALSE\t";
    text += std::to_string(c.expires);
    text += '\t';
    text += c.name;
    text += '\t';
    text += c.value;
    text += '\n';
  }
  return text;
}

}  // namespace hv::cookies
