// Reading the value of a Set-Cookie header into the cookie it asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/cookies/cookie.h"

namespace hv::cookies {

// The longest a server may make a cookie live: 400 days.
constexpr std::int64_t kMaxLifetime = 400 * 86400;

// The cookie the value sets for a response from the origin, with its
// expiry resolved against now (an expiry at or before now asks to delete
// the cookie). None when the value must be ignored: no '=' or no name, a
// control byte anywhere, oversized, a Domain the origin's host is not in
// (or a bare top-level name), Secure from a plain http origin.
std::optional<Cookie> ParseSetCookie(std::string_view value, const Origin& origin, std::int64_t now);

}  // namespace hv::cookies
