// Dates in HTTP headers: the three forms servers send, and the one we send.
// Times are seconds since 1970; 0 stands for an unknown or invalid date.
#pragma once

#include <cstdint>
#include <string>

// The date read as local standard time: RFC 1123 ("Sun, 06 Nov 1994
// 08:49:37 GMT"), RFC 850 ("Sunday, 06-Nov-94 08:49:37 GMT") or asctime
// ("Sun Nov  6 08:49:37 1994"); 0 when none of them fits.
std::int32_t ParseHttpDate(const char* text);

// The date read as UTC, as HTTP dates are meant; 0 when it does not parse.
std::int32_t ParseHttpDateUtc(const char* text);

// Seconds to add to a UTC time to get the same wall-clock reading taken as
// local standard time: minus the zone's standard offset from UTC.
std::int32_t LocalClockOffset();

// The time in UTC in RFC 1123 form, with English names in any locale.
std::string FormatHttpDate(std::int64_t time);
