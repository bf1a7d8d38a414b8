// The dates of an Expires attribute, read as leniently as servers write
// them: tokens for the time, the day, the month and the year in any order.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace hv::cookies {

// Seconds since 1970 (UTC); none when a part is missing or out of range,
// or the year is before 1601.
std::optional<std::int64_t> ParseCookieDate(std::string_view text);

}  // namespace hv::cookies
