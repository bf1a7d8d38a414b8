#include "engine/html/element_text.h"

#include <algorithm>

namespace {

// The UTF-8 bytes of a code point; '?' for one no character has.
std::string Utf8(int code) {
  std::string out;
  if (code < 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    out = "?";
  } else if (code < 0x80) {
    out = static_cast<char>(code);
  } else if (code < 0x800) {
    out = {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
  } else if (code < 0x10000) {
    out = {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
           static_cast<char>(0x80 | (code & 0x3F))};
  } else {
    out = {static_cast<char>(0xF0 | (code >> 18)), static_cast<char>(0x80 | ((code >> 12) & 0x3F)),
           static_cast<char>(0x80 | ((code >> 6) & 0x3F)), static_cast<char>(0x80 | (code & 0x3F))};
  }
  return out;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t extra = 0;
    unsigned code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (!IsContinuation(next)) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past the last.
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += extra + 1;
  }
  return true;
}

void ElementText::AddBytes(const char* bytes, std::size_t length) {
  if (Full()) return;
  std::size_t take = std::min(length, m_nLimit - m_text.size());
  // A cut inside a sequence would make a UTF-8 page look like single bytes.
  if (take < length)
    while (take > 0 && IsContinuation(static_cast<unsigned char>(bytes[take]))) --take;
  m_text.append(bytes, take);
}

void ElementText::AddCharacter(int code) {
  const std::string bytes = Utf8(code);
  if (m_text.size() + bytes.size() > m_nLimit) return;
  if (code >= 0x80) m_references.push_back({m_text.size(), bytes.size(), code});
  m_text += bytes;
}

std::string ElementText::Take() {
  std::string out;
  if (m_references.empty() || IsValidUtf8(m_text)) {
    out.swap(m_text);
  } else {
    // Single bytes (Latin-1): references become their bytes too, unless one
    // is beyond Latin-1; then the whole text becomes UTF-8 rather than lose
    // that character.
    const bool widen = std::any_of(m_references.begin(), m_references.end(),
                                   [](const Reference& reference) { return reference.code > 0xFF; });
    const auto appendOwn = [&](std::size_t from, std::size_t to) {
      if (!widen) {
        out.append(m_text, from, to - from);
        return;
      }
      for (std::size_t i = from; i < to; ++i) out += Utf8(static_cast<unsigned char>(m_text[i]));
    };
    std::size_t from = 0;
    for (const Reference& reference : m_references) {
      appendOwn(from, reference.offset);
      if (widen)
        out.append(m_text, reference.offset, reference.length);
      else
        out.push_back(static_cast<char>(reference.code));
      from = reference.offset + reference.length;
    }
    appendOwn(from, m_text.size());
  }
  Clear();
  return out;
}

void ElementText::Clear() {
  m_text.clear();
  m_references.clear();
}
