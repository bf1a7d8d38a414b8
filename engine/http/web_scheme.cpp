#include "engine/http/web_scheme.h"

namespace hv::http {

namespace {

// Schemes are ASCII whatever the user's locale.
bool EqualsNoCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lower[i]) return false;
  }
  return true;
}

}  // namespace

std::uint16_t DefaultPort(std::string_view scheme) {
  if (EqualsNoCase(scheme, "http")) return 80;
  if (EqualsNoCase(scheme, "https")) return 443;
  return 0;
}

std::size_t WebSchemeLength(std::string_view address) {
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos || DefaultPort(address.substr(0, colon)) == 0) return 0;
  return colon + 1;
}

bool HasWebPrefix(std::string_view address) {
  const std::size_t length = WebSchemeLength(address);
  return length > 0 && address.substr(length, 2) == "//";
}

}  // namespace hv::http
