#include "visible_text.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "display_text.h"
#include "html_entities.h"

namespace harvion {

namespace {

// Elements whose tags sit inside a word ("<b>bo</b>ld" is one word); every
// other tag separates words as the blocks and breaks they make on screen.
constexpr std::string_view kInline[] = {"a",    "abbr", "b",   "bdi",    "bdo",   "cite", "code", "data",
                                        "dfn",  "em",   "font", "i",     "kbd",   "mark", "q",    "s",
                                        "samp", "small", "span", "strike", "strong", "sub", "sup", "time",
                                        "tt",   "u",    "var",  "wbr"};
// Elements whose content is no text a reader sees, read up to their end tag.
constexpr std::string_view kHidden[] = {"iframe", "noembed", "noframes", "script", "style", "template", "title", "xmp"};

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiAlnum(char c) { return IsAsciiAlpha(c) || (c >= '0' && c <= '9'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Code points 0x80 to 0x9F from numeric references, as browsers read them
// (windows-1252); 0 where that code page has none.
constexpr char16_t kWindows1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

class TextWriter {
 public:
  explicit TextWriter(std::size_t hint) { m_out.reserve(hint); }

  void Space() { m_space = true; }
  void Byte(char c) {
    Flush();
    m_out.push_back(c);
  }
  void Bytes(std::string_view bytes) {
    Flush();
    m_out.append(bytes);
  }
  void CodePoint(char32_t code) {
    if (code <= 0x20 || code == 0x7F || code == 0xA0 || (code >= 0x80 && code < 0xA0) ||
        (code >= 0x2000 && code <= 0x200A) || code == 0x3000) {
      Space();
      return;
    }
    // Soft hyphens and zero-width characters join what they stand between.
    if (code == 0xAD || (code >= 0x200B && code <= 0x200D) || code == 0x2060 || code == 0xFEFF) return;
    Flush();
    if (code < 0x80) {
      m_out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      m_out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      m_out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      m_out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      m_out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      m_out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      m_out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      m_out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      m_out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      m_out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  std::string Take() { return std::move(m_out); }

 private:
  // A space is written only between words, never at either end.
  void Flush() {
    if (m_space && !m_out.empty()) m_out.push_back(' ');
    m_space = false;
  }
  std::string m_out;
  bool m_space = false;
};

class Extractor {
 public:
  explicit Extractor(std::string_view html) : m_in(html), m_utf8(IsUtf8(html)), m_out(html.size() / 2) {}

  std::string Run() {
    while (m_at < m_in.size()) {
      const char c = m_in[m_at];
      if (c == '<')
        Markup();
      else if (c == '&')
        Reference();
      else
        Text();
    }
    return m_out.Take();
  }

 private:
  // Plain text up to the next markup or reference.
  void Text() {
    for (; m_at < m_in.size(); ++m_at) {
      const auto byte = static_cast<unsigned char>(m_in[m_at]);
      if (byte == '<' || byte == '&') return;
      if (byte <= 0x20 || byte == 0x7F) {
        m_out.Space();
      } else if (byte < 0x80) {
        // A run of plain characters at once.
        std::size_t end = m_at + 1;
        while (end < m_in.size() && IsPlain(static_cast<unsigned char>(m_in[end]))) ++end;
        m_out.Bytes(m_in.substr(m_at, end - m_at));
        m_at = end - 1;
      } else if (!m_utf8) {
        m_out.CodePoint(byte);  // Latin-1
      } else if (byte == 0xC2 && m_at + 1 < m_in.size()) {
        m_out.CodePoint(static_cast<unsigned char>(m_in[++m_at]));  // U+0080 to U+00BF
      } else {
        m_out.Byte(static_cast<char>(byte));
      }
    }
  }

  static bool IsPlain(unsigned char byte) { return byte > 0x20 && byte < 0x7F && byte != '<' && byte != '&'; }

  // "<" starts a tag, a comment, a declaration or is just the character.
  void Markup() {
    const std::string_view rest = m_in.substr(m_at);
    if (rest.starts_with("<!--")) {
      const std::size_t end = m_in.find("-->", m_at + 4);
      m_at = end == std::string_view::npos ? m_in.size() : end + 3;
      return;
    }
    if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?')) {
      SkipTag(m_at + 2);
      m_out.Space();
      return;
    }
    const bool closing = rest.size() > 1 && rest[1] == '/';
    const std::size_t nameStart = m_at + (closing ? 2 : 1);
    if (nameStart >= m_in.size() || !IsAsciiAlpha(m_in[nameStart])) {
      m_out.Byte('<');
      ++m_at;
      return;
    }
    std::string name;
    std::size_t i = nameStart;
    for (; i < m_in.size() && (IsAsciiAlnum(m_in[i]) || m_in[i] == '-' || m_in[i] == ':'); ++i)
      if (name.size() < 16) name += Lower(m_in[i]);
    SkipTag(i);
    if (std::find(std::begin(kInline), std::end(kInline), name) == std::end(kInline)) m_out.Space();
    if (!closing && std::find(std::begin(kHidden), std::end(kHidden), name) != std::end(kHidden)) SkipTo("</" + name);
  }

  // To just past the '>' that ends a tag whose attributes start at from; a
  // '>' inside a quoted attribute value does not end it.
  void SkipTag(std::size_t from) {
    char quote = 0;
    bool afterEquals = false;
    for (std::size_t i = from; i < m_in.size(); ++i) {
      const char c = m_in[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '>') {
        m_at = i + 1;
        return;
      } else if ((c == '"' || c == '\'') && afterEquals) {
        quote = c;
      }
      if (c == '=') afterEquals = true;
      else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') afterEquals = false;
    }
    m_at = m_in.size();
  }

  // To the end tag (letter case aside), which is then read as markup.
  void SkipTo(const std::string& endTag) {
    for (std::size_t i = m_at; (i = m_in.find('<', i)) != std::string_view::npos; ++i) {
      if (m_in.size() - i >= endTag.size() && strncasecmp(m_in.data() + i, endTag.data(), endTag.size()) == 0) {
        const std::size_t after = i + endTag.size();
        if (after == m_in.size() || !IsAsciiAlnum(m_in[after])) {
          m_at = i;
          return;
        }
      }
    }
    m_at = m_in.size();
  }

  // "&name;", "&#NNN;" or "&#xHHH;"; anything else is the character '&'.
  void Reference() {
    std::size_t i = m_at + 1;
    if (i < m_in.size() && m_in[i] == '#') {
      const bool hex = i + 1 < m_in.size() && (m_in[i + 1] == 'x' || m_in[i + 1] == 'X');
      i += hex ? 2 : 1;
      const std::size_t digitsStart = i;
      std::uint32_t code = 0;
      for (; i < m_in.size(); ++i) {
        const char c = m_in[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) break;
        code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
      }
      if (i > digitsStart) {
        if (i < m_in.size() && m_in[i] == ';') ++i;
        m_at = i;
        if (code >= 0x80 && code < 0xA0 && kWindows1252[code - 0x80]) code = kWindows1252[code - 0x80];
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        m_out.CodePoint(code);
        return;
      }
    } else {
      while (i < m_in.size() && i - m_at <= 32 && IsAsciiAlnum(m_in[i])) ++i;
      if (i < m_in.size() && m_in[i] == ';' && i > m_at + 1) {
        if (const char32_t code = NamedEntity(m_in.substr(m_at + 1, i - m_at - 1))) {
          m_at = i + 1;
          m_out.CodePoint(code);
          return;
        }
      }
    }
    m_out.Byte('&');
    ++m_at;
  }

  std::string_view m_in;
  std::size_t m_at = 0;
  bool m_utf8;
  TextWriter m_out;
};

}  // namespace

std::string VisibleText(std::string_view html) { return Extractor(html).Run(); }

std::vector<TextToken> Tokens(std::string_view text) {
  std::vector<TextToken> tokens;
  const auto punctuation = [](char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
  };
  bool space = false;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      space = true;
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    if (!punctuation(text[i]))
      while (end < text.size() && text[end] != ' ' && !punctuation(text[end])) ++end;
    tokens.push_back({text.substr(i, end - i), space});
    space = false;
    i = end;
  }
  return tokens;
}

}  // namespace harvion
