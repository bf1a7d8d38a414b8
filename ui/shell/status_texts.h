// The texts the desktop program shows for HTTP status codes and node times.
#pragma once

#include <QString>
#include <cstdint>

namespace hvui {

// "Not Found" for 404; "N/A" for a code without a text.
QString StatusText(int code);
// "Tue, 01 Dec 2026 10:00:00 GMT"; "N/A" for 0 (unknown).
QString GmtTimeText(std::uint32_t secondsSince1970);

}  // namespace hvui
