// The Netscape cookie file, as wget and curl read and write it: one cookie
// a line, seven fields separated by tabs (domain, "TRUE" when subdomains
// match too, path, "TRUE" for secure only, expiry in seconds since 1970 or
// 0 for a session, name, value); "#HttpOnly_" before the domain marks an
// HttpOnly cookie, other lines starting with '#' are comments.
#pragma once

#include <string>
#include <string_view>

#include "platform/cookies/cookie_list.h"

namespace hv::cookies {

// The cookies of the text, oldest first and held to the list's bounds. A
// line that is not a cookie we could send back safely (wrong field count,
// bad number, control bytes, a ';' in a name or value) is skipped; a later
// line of the same key replaces an earlier one.
CookieList ParseCookiesFile(std::string_view text);

// The file text of the list, with the usual header.
std::string FormatCookiesFile(const CookieList& list);

}  // namespace hv::cookies
