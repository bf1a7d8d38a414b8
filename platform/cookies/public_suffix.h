// Public suffixes: names under which anyone may register a site ("com",
// "co.uk", "github.io"). A cookie for one would go to every site below it.
#pragma once

#include <string_view>

namespace hv::cookies {

// Whether the lower-case domain is a public suffix. The system's list is
// read once (the built-in one when the system has none); without any list
// a name without a dot counts as one.
bool IsPublicSuffix(std::string_view domain);

}  // namespace hv::cookies
