// Text for an HTML element or a quoted attribute value: the markup
// characters written as references, every other byte as it is.
#pragma once

#include <string>
#include <string_view>

namespace harvion {

void AppendEscapedHtml(std::string& out, std::string_view text);

}  // namespace harvion
