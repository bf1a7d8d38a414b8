#include "platform/cookies/cookie_list.h"

#include <algorithm>
#include <unordered_map>

namespace hv::cookies {

bool Put(CookieList& list, const Cookie& cookie, std::int64_t now) {
  if (cookie.Expired(now)) return Remove(list, cookie);
  const auto old = std::find_if(list.begin(), list.end(), [&](const Cookie& c) { return c.SameKey(cookie); });
  if (old == list.end()) {
    list.push_back(cookie);
    return true;
  }
  const bool same = old->value == cookie.value && old->expires == cookie.expires &&
                    old->hostOnly == cookie.hostOnly && old->secure == cookie.secure &&
                    old->httpOnly == cookie.httpOnly;
  *old = cookie;
  return !same;
}

bool Remove(CookieList& list, const Cookie& cookie) {
  return std::erase_if(list, [&](const Cookie& c) { return c.SameKey(cookie); }) > 0;
}

bool Trim(CookieList& list, std::int64_t now) {
  // Newest first, so the cookies kept are the last ones set.
  std::unordered_map<std::string, std::size_t> perDomain;
  std::size_t kept = 0;
  std::vector<bool> keep(list.size());
  for (std::size_t i = list.size(); i-- > 0;) {
    const Cookie& c = list[i];
    keep[i] = !c.Expired(now) && ++perDomain[c.domain] <= kMaxCookiesPerDomain && kept < kMaxCookies;
    kept += keep[i];
  }
  if (kept == list.size()) return false;
  CookieList out;
  out.reserve(kept);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (keep[i]) out.push_back(std::move(list[i]));
  list = std::move(out);
  return true;
}

std::string CookieHeader(const CookieList& earlier, const CookieList& later, const Origin& origin,
                         std::int64_t now) {
  std::vector<const Cookie*> chosen;
  const auto add = [&](const Cookie& c, bool hidden) {
    if (!hidden && !c.Expired(now) && Matches(c, origin)) chosen.push_back(&c);
  };
  for (const Cookie& c : earlier)
    add(c, std::any_of(later.begin(), later.end(), [&](const Cookie& l) { return l.SameKey(c); }));
  for (const Cookie& c : later) add(c, false);
  std::stable_sort(chosen.begin(), chosen.end(),
                   [](const Cookie* a, const Cookie* b) { return a->path.size() > b->path.size(); });
  std::string header;
  for (const Cookie* c : chosen) {
    if (!header.empty()) header += "; ";
    header += c->name;
    header += '=';
    header += c->value;
  }
  return header;
}

}  // namespace hv::cookies
