// The texts the desktop program shows for HTTP status codes and node times.
#pragma once

#include <QString>

namespace hvui {

// "Not Found" for 404; "N/A" for a code without a text.
QString StatusText(int code);

}  // namespace hvui
