#include "harvion/web_address.h"

#include <string_view>

#include "engine/http/web_scheme.h"

HvAddressFault WebAddressFault(const char* text) {
  const std::string_view address = text ? text : "";
  const std::size_t colon = address.find(':');
  // A scheme is a letter, then letters, digits, '+', '-' or '.', then ':'.
  const auto isSchemeChar = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
  };
  bool scheme = colon != std::string_view::npos && colon > 0 &&
                ((address[0] >= 'a' && address[0] <= 'z') || (address[0] >= 'A' && address[0] <= 'Z'));
  for (std::size_t i = 0; scheme && i < colon; ++i) scheme = isSchemeChar(address[i]);
  if (!scheme) return HvAddressFault::noScheme;
  if (hv::http::WebSchemeLength(address) == 0) return HvAddressFault::otherScheme;
  if (!hv::http::HasWebPrefix(address)) return HvAddressFault::noHost;
  // The host lies between "//" (and any "user@") and the port, path, query or fragment.
  std::string_view authority = address.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority = authority.substr(at + 1);
  const std::string_view host = authority.substr(0, authority.starts_with('[') ? authority.find(']') + 1
                                                                               : authority.find(':'));
  return host.empty() ? HvAddressFault::noHost : HvAddressFault::none;
}
