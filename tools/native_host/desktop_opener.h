// Opens a file: address with the desktop's handler, for browsers that do
// not let an extension open local files.
#pragma once

#include <string>

namespace hvhost {
bool OpenWithDesktop(const std::string& fileUrl);
}
