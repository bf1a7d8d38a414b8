#include "display_text.h"

#include <cstdio>

namespace harvion {

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int follow;
    unsigned min;
    unsigned code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      follow = 1, min = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      follow = 2, min = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      follow = 3, min = 0x10000, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(follow) >= text.size()) return false;  // cut short
    for (int k = 1; k <= follow; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(follow) + 1;
  }
  return true;
}

namespace {

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

void AppendEscaped(std::string& out, char c) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
  out += hex;
}

enum class Quoting { none, quotes, quotesAndSlash };

std::string Escape(std::string_view text, Quoting quoting) {
  const std::string utf8 = IsUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
  std::string out;
  out.reserve(utf8.size() + 2);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    const auto byte = static_cast<unsigned char>(c);
    // C1 controls (U+0080 to U+009F) steer some terminals as C0 ones do.
    const bool c1 = byte == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
    if (c1) {
      AppendEscaped(out, c);
      AppendEscaped(out, utf8[++i]);
    } else if (byte < 0x20 || byte == 0x7F)
      AppendEscaped(out, c);
    else if ((quoting != Quoting::none && (c == '"' || c == '\\')) || (quoting == Quoting::quotesAndSlash && c == '/'))
      out += {'\\', c};
    else
      out.push_back(c);
  }
  return out;
}

}  // namespace

std::string Utf8Text(std::string_view text) { return IsUtf8(text) ? std::string(text) : Latin1ToUtf8(text); }

std::string Printable(std::string_view text) { return Escape(text, Quoting::none); }

std::string Quoted(std::string_view text) { return '"' + Escape(text, Quoting::quotes) + '"'; }

std::string QuotedFolderName(std::string_view text) { return '"' + Escape(text, Quoting::quotesAndSlash) + '"'; }

}  // namespace harvion
