// Named character references, for reading a page's text.
#pragma once

#include <string_view>

namespace harvion {

// The code point of "amp", "eacute", ...; 0 for a name not known.
char32_t NamedEntity(std::string_view name);

}  // namespace harvion
