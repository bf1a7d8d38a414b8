// A list of cookies, oldest first: how a new cookie replaces or deletes an
// old one, how the list is held to its bounds, and the Cookie header text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cookies/cookie.h"

namespace hv::cookies {

using CookieList = std::vector<Cookie>;

// Replaces the cookie of the same key where it stands (it keeps its age),
// or adds it at the end; an expired cookie removes the one of its key.
// True when the list changed.
bool Put(CookieList& list, const Cookie& cookie, std::int64_t now);
// Removes the cookie with the key of `cookie`; true when there was one.
bool Remove(CookieList& list, const Cookie& cookie);
// Drops expired cookies, then the oldest beyond kMaxCookiesPerDomain for a
// domain and beyond kMaxCookies in all. True when any went.
bool Trim(CookieList& list, std::int64_t now);

// "name=value; name=value" of the cookies of both lists that go to the
// origin, longer paths first, older first among equal paths; a cookie of
// `later` hides one of `earlier` with the same key. Empty when none.
std::string CookieHeader(const CookieList& earlier, const CookieList& later, const Origin& origin,
                         std::int64_t now);

}  // namespace hv::cookies
