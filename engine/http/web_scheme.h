// The schemes of the web the engine fetches and stores: http and https.
// Every test of "is this a web address" goes through here, so the two
// schemes are accepted in the same places.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hv::http {

// The port a server listens on when the URL names none: 80 for "http", 443
// for "https" (letter case aside), 0 for any other scheme.
std::uint16_t DefaultPort(std::string_view scheme);

// The length of the "http:" or "https:" that begins address, letter case
// aside; 0 when it begins with neither.
std::size_t WebSchemeLength(std::string_view address);

// Whether address begins with "http://" or "https://", letter case aside.
bool HasWebPrefix(std::string_view address);

}  // namespace hv::http
