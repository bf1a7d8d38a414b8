#include "engine/html/css_scanner.h"

#include <array>
#include <cstring>
#include <string_view>

namespace {

enum : unsigned char { kName = 1, kBlank = 2, kNewline = 4, kHex = 8, kDataStop = 16, kUrlStop = 32 };

constexpr std::array<unsigned char, 256> MakeClasses() {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; ++c) {
    unsigned char v = 0;
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (letter || digit || c == '_' || c == '-' || c >= 0x80) v |= kName;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') v |= kBlank;
    if (c == '\n' || c == '\r' || c == '\f') v |= kNewline;
    if (digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) v |= kHex;
    // Where something may begin that matters: a comment, a string, an
    // escape, an at-keyword, or a name that may be url.
    if (c == '/' || c == '"' || c == '\'' || c == '\\' || c == '@' || c == 'u' || c == 'U') v |= kDataStop;
    // What ends or spoils a bare url( value: blanks, quotes, '(', controls.
    if ((v & kBlank) || c == ')' || c == '\\' || c == '"' || c == '\'' || c == '(' || c <= 0x08 || c == 0x0B ||
        (c >= 0x0E && c <= 0x1F) || c == 0x7F)
      v |= kUrlStop;
    t[static_cast<std::size_t>(c)] = v;
  }
  return t;
}
constexpr std::array<unsigned char, 256> kClasses = MakeClasses();

bool Is(unsigned char c, unsigned char cls) { return (kClasses[c] & cls) != 0; }

int HexValue(unsigned char c) {
  if (c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

char Lower(unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c); }

}  // namespace

void CCssScanner::Scan(const char* data, std::size_t length) {
  if (length == 0) return;
  m_pBuffer = data;
  m_nBase = m_nScanned;
  const char* end = data + length;
  for (const char* p = data; p < end;) p = Step(p, end);
  m_nScanned += static_cast<std::int64_t>(length);
  m_cLast = static_cast<unsigned char>(end[-1]);
  m_pBuffer = nullptr;
}

std::int64_t CCssScanner::OpenFrom() const {
  if (m_nRefStart >= 0 && !m_bTooLong) return m_nRefStart;
  const bool inEscape = m_state == State::nameBackslash || m_state == State::hex || m_state == State::hexCr;
  if (!m_bAtKeyword && (m_state == State::name || (inEscape && m_escapeReturn == State::name))) return m_nNameStart;
  return m_nScanned;
}

void CCssScanner::ResetReference() {
  m_nRefStart = -1;
  m_kind = Kind::url;
  m_bCollect = false;
  m_bTooLong = false;
  m_strValue.clear();
}

void CCssScanner::Report(std::int64_t end, bool quoted) {
  if (m_nRefStart >= 0 && !m_bTooLong && !m_strValue.empty())
    OnReference(Reference{m_kind, m_strValue, m_nRefStart, end, quoted});
  ResetReference();
}

void CCssScanner::StartString(char quote, bool reference) {
  m_cQuote = quote;
  m_bCollect = reference;
  m_state = State::string;
}

void CCssScanner::Emit(std::uint32_t code) {
  switch (m_escapeReturn) {
    case State::name:
      if (m_strName.size() < 8) m_strName += code < 0x80 ? Lower(static_cast<unsigned char>(code)) : '\x80';
      break;
    case State::string:
      if (!m_bCollect) break;
      [[fallthrough]];
    case State::urlValue: {
      std::string bytes;
      AppendUtf8(bytes, code);
      AddValue(bytes.data(), bytes.size());
      break;
    }
    default:
      break;
  }
}

void CCssScanner::AddValue(const char* text, std::size_t size) {
  if (m_bTooLong || size == 0) return;
  m_strValue.append(text, size);
  if (m_strValue.size() > kMaxValue) {
    m_bTooLong = true;
    m_strValue.clear();
  }
}

void CCssScanner::EndName(char next, bool hasNext) {
  const std::string_view name = m_strName;
  if (m_bAtKeyword) {
    m_bAtKeyword = false;
    if (name == "import") {
      m_state = State::afterImport;
      return;
    }
  } else if (hasNext && next == '(' && name == "url") {
    m_nRefStart = m_nNameStart;
    m_strValue.clear();
    m_bTooLong = false;
    m_state = State::afterUrl;
    return;
  }
  ResetReference();
  m_state = State::data;
}

const char* CCssScanner::ScanData(const char* p, const char* end) {
  for (;;) {
    while (p < end && !Is(static_cast<unsigned char>(*p), kDataStop)) ++p;
    if (p == end) return end;
    const char c = *p;
    switch (c) {
      case '/':
        m_commentReturn = State::data;
        m_state = State::slash;
        return p + 1;
      case '"':
      case '\'':
        StartString(c, false);
        return p + 1;
      case '@':
        m_bAtKeyword = true;
        m_nNameStart = At(p);
        m_strName.clear();
        m_state = State::name;
        return p + 1;
      default:
        break;
    }
    // 'u', 'U' or '\': a name starts here unless one runs on through it.
    const unsigned char before = p > m_pBuffer ? static_cast<unsigned char>(p[-1]) : m_cLast;
    const bool continues = At(p) == m_nNameEnd || (At(p) > 0 && (Is(before, kName) || before == '#'));
    if (c == '\\' && continues) {
      m_escapeReturn = State::data;
      m_state = State::nameBackslash;
      return p + 1;
    }
    if (continues) {
      ++p;
      continue;
    }
    StartUrlName(Kind::url, p);
    return p + 1;
  }
}

void CCssScanner::StartUrlName(Kind kind, const char* p) {
  m_kind = kind;
  m_bAtKeyword = false;
  m_nNameStart = At(p);
  m_strName.clear();
  if (*p == '\\') {
    m_escapeReturn = State::name;
    m_state = State::nameBackslash;
  } else {
    m_strName += 'u';
    m_state = State::name;
  }
}

const char* CCssScanner::Step(const char* p, const char* end) {
  const auto c = static_cast<unsigned char>(*p);
  switch (m_state) {
    case State::data:
      return ScanData(p, end);

    case State::slash:
      if (c == '*') {
        m_state = State::comment;
        return p + 1;
      }
      // A lone '/' after @import is no address.
      if (m_commentReturn == State::afterImport) ResetReference();
      m_state = State::data;
      return p;

    case State::comment: {
      const void* star = std::memchr(p, '*', static_cast<std::size_t>(end - p));
      if (!star) return end;
      m_state = State::commentStar;
      return static_cast<const char*>(star) + 1;
    }

    case State::commentStar:
      if (c == '/')
        m_state = m_commentReturn;
      else if (c != '*')
        m_state = State::comment;
      return p + 1;

    case State::name: {
      const std::string_view target = m_bAtKeyword ? "import" : "url";
      if (m_strName.size() > target.size() || target.compare(0, m_strName.size(), m_strName) != 0) {
        // Neither url nor import: the rest of the name is skipped as data.
        m_bAtKeyword = false;
        m_nNameEnd = At(p);
        ResetReference();
        m_state = State::data;
        return p;
      }
      if (Is(c, kName)) {
        m_strName += Lower(c);
        return p + 1;
      }
      if (c == '\\') {
        m_escapeReturn = State::name;
        m_state = State::nameBackslash;
        return p + 1;
      }
      EndName(static_cast<char>(c), true);
      return m_state == State::afterUrl ? p + 1 : p;
    }

    case State::nameBackslash:
      if (Is(c, kNewline)) {
        // Not an escape: a name ends before the '\', which is no address.
        m_bAtKeyword = false;
        ResetReference();
        m_state = State::data;
        return p;
      }
      if (Is(c, kHex)) {
        m_nHex = static_cast<std::uint32_t>(HexValue(c));
        m_nHexDigits = 1;
        m_state = State::hex;
        return p + 1;
      }
      if (m_escapeReturn == State::name && m_strName.size() < 8) m_strName += c < 0x80 ? Lower(c) : '\x80';
      if (m_escapeReturn == State::data) m_nNameEnd = At(p) + 1;
      m_state = m_escapeReturn;
      return p + 1;

    case State::hex:
      if (Is(c, kHex) && m_nHexDigits < 6) {
        m_nHex = m_nHex * 16 + static_cast<std::uint32_t>(HexValue(c));
        ++m_nHexDigits;
        return p + 1;
      }
      Emit(m_nHex == 0 || (m_nHex >= 0xD800 && m_nHex <= 0xDFFF) || m_nHex > 0x10FFFF ? 0xFFFD : m_nHex);
      if (c == '\r') {
        m_state = State::hexCr;
        return p + 1;
      }
      // One blank after the digits belongs to the escape.
      if (Is(c, kBlank)) ++p;
      if (m_escapeReturn == State::data) m_nNameEnd = At(p);
      m_state = m_escapeReturn;
      return p;

    case State::hexCr:
      if (c == '\n') ++p;
      if (m_escapeReturn == State::data) m_nNameEnd = At(p);
      m_state = m_escapeReturn;
      return p;

    case State::afterImport:
      if (Is(c, kBlank)) return p + 1;
      if (c == '/') {
        m_commentReturn = State::afterImport;
        m_state = State::slash;
        return p + 1;
      }
      if (c == '"' || c == '\'') {
        m_kind = Kind::import;
        m_nRefStart = At(p);
        m_strValue.clear();
        StartString(static_cast<char>(c), true);
        return p + 1;
      }
      if (c == 'u' || c == 'U' || c == '\\') {
        StartUrlName(Kind::import, p);
        return p + 1;
      }
      ResetReference();
      m_state = State::data;
      return p;

    case State::afterUrl:
      if (Is(c, kBlank)) return p + 1;
      if (c == '"' || c == '\'') {
        // url("x"): the string alone is the reference.
        m_nRefStart = At(p);
        m_strValue.clear();
        StartString(static_cast<char>(c), true);
        return p + 1;
      }
      m_state = State::urlValue;
      return p;

    case State::urlValue: {
      const char* run = p;
      while (p < end && !Is(static_cast<unsigned char>(*p), kUrlStop)) ++p;
      AddValue(run, static_cast<std::size_t>(p - run));
      if (p == end) return end;
      const auto stop = static_cast<unsigned char>(*p);
      if (stop == ')') {
        Report(At(p) + 1, false);
        m_state = State::data;
        return p + 1;
      }
      if (Is(stop, kBlank)) {
        m_state = State::urlTrailing;
        return p + 1;
      }
      if (stop == '\\') {
        m_escapeReturn = State::urlValue;
        m_state = State::urlBackslash;
        return p + 1;
      }
      m_state = State::badUrl;
      return p;
    }

    case State::urlBackslash:
      if (Is(c, kNewline)) {
        m_state = State::badUrl;
        return p;
      }
      if (Is(c, kHex)) {
        m_nHex = static_cast<std::uint32_t>(HexValue(c));
        m_nHexDigits = 1;
        m_state = State::hex;
        return p + 1;
      }
      AddValue(p, 1);
      m_state = State::urlValue;
      return p + 1;

    case State::urlTrailing:
      if (Is(c, kBlank)) return p + 1;
      if (c == ')') {
        Report(At(p) + 1, false);
        m_state = State::data;
        return p + 1;
      }
      m_state = State::badUrl;
      return p;

    case State::badUrl: {
      while (p < end && *p != ')' && *p != '\\') ++p;
      if (p == end) return end;
      if (*p == ')') {
        ResetReference();
        m_state = State::data;
      } else {
        m_state = State::badUrlBackslash;
      }
      return p + 1;
    }

    case State::badUrlBackslash:
      m_state = State::badUrl;
      return p + 1;

    case State::string: {
      const char* run = p;
      while (p < end && *p != m_cQuote && *p != '\\' && !Is(static_cast<unsigned char>(*p), kNewline)) ++p;
      if (m_bCollect) AddValue(run, static_cast<std::size_t>(p - run));
      if (p == end) return end;
      if (*p == m_cQuote) {
        if (m_bCollect) Report(At(p) + 1, true);
        m_bCollect = false;
        m_state = State::data;
        return p + 1;
      }
      if (*p == '\\') {
        m_escapeReturn = State::string;
        m_state = State::stringBackslash;
        return p + 1;
      }
      // A line break ends a string unclosed: nothing it held counts.
      ResetReference();
      m_state = State::data;
      return p;
    }

    case State::stringBackslash:
      if (c == '\n' || c == '\f') {
        m_state = State::string;  // the line goes on
        return p + 1;
      }
      if (c == '\r') {
        m_state = State::stringBackslashCr;
        return p + 1;
      }
      if (Is(c, kHex)) {
        m_nHex = static_cast<std::uint32_t>(HexValue(c));
        m_nHexDigits = 1;
        m_state = State::hex;
        return p + 1;
      }
      if (m_bCollect) AddValue(p, 1);
      m_state = State::string;
      return p + 1;

    case State::stringBackslashCr:
      m_state = State::string;
      return c == '\n' ? p + 1 : p;
  }
  return end;
}

void CCssScanner::Finish() {
  m_pBuffer = nullptr;
  if (m_state == State::hex) {
    Emit(m_nHex == 0 || (m_nHex >= 0xD800 && m_nHex <= 0xDFFF) || m_nHex > 0x10FFFF ? 0xFFFD : m_nHex);
    m_state = m_escapeReturn;
  } else if (m_state == State::hexCr) {
    m_state = m_escapeReturn;
  }
  if (m_state == State::stringBackslash || m_state == State::stringBackslashCr) m_state = State::string;
  if (m_state == State::urlBackslash) {
    // A '\' at the very end stands for the replacement character.
    AddValue("\xEF\xBF\xBD", 3);
    m_state = State::urlValue;
  }
  // The end of input closes a string or a url( as if it were written.
  if (m_state == State::string && m_bCollect) Report(m_nScanned, true);
  if (m_state == State::urlValue || m_state == State::urlTrailing) Report(m_nScanned, false);
  ResetReference();
  m_state = State::data;
}
