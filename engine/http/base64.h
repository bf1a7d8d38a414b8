// Base64 of the standard alphabet with "=" padding and no line breaks, as
// Basic credentials are sent.
#pragma once

#include <string>
#include <string_view>

namespace hv::http {

std::string Base64Encode(std::string_view bytes);

}  // namespace hv::http
