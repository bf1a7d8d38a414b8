// An address written into a stylesheet we rewrite. Addresses come from
// pages and servers; written as a CSS string with every byte that could end
// the string, the url() or the STYLE element around it escaped, none of
// them can break out. In a style attribute the string is single-quoted, so
// the attribute's own double quotes need no reference.
#pragma once

#include <string>
#include <string_view>

namespace hv {

inline void AppendCssString(std::string& out, std::string_view value, char quote = '"') {
  static constexpr char kHex[] = "0123456789abcdef";
  out += quote;
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == quote || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F || c == '<' || c == '>') {
      // A hex escape ends at the blank after it, which CSS then drops.
      out += '\\';
      if (c >= 0x10) out += kHex[c >> 4];
      out += kHex[c & 0x0F];
      out += ' ';
    } else {
      out += ch;
    }
  }
  out += quote;
}

}  // namespace hv
