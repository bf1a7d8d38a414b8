#include "json_message.h"

#include <cstdint>

namespace hvhost {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : m_text(text) {}

  std::optional<JsonMessage> Object(std::string& error) {
    JsonMessage message;
    SkipSpace();
    if (!Take('{')) return Fail(error, "a message is a JSON object");
    SkipSpace();
    if (!Take('}')) {
      for (;;) {
        std::string name, value;
        SkipSpace();
        if (!String(name, error)) return std::nullopt;
        SkipSpace();
        if (!Take(':')) return Fail(error, "':' expected after a member name");
        SkipSpace();
        if (!Value(value, error)) return std::nullopt;
        message.insert_or_assign(std::move(name), std::move(value));
        SkipSpace();
        if (Take('}')) break;
        if (!Take(',')) return Fail(error, "',' or '}' expected");
      }
    }
    SkipSpace();
    if (m_pos != m_text.size()) return Fail(error, "bytes after the object");
    return message;
  }

 private:
  static std::nullopt_t Fail(std::string& error, const char* why) {
    error = why;
    return std::nullopt;
  }

  bool Take(char c) {
    if (m_pos < m_text.size() && m_text[m_pos] == c) {
      ++m_pos;
      return true;
    }
    return false;
  }

  void SkipSpace() {
    while (m_pos < m_text.size() &&
           (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
      ++m_pos;
  }

  bool Value(std::string& value, std::string& error) {
    if (m_pos < m_text.size() && m_text[m_pos] == '"') return String(value, error);
    for (std::string_view word : {"true", "false", "null"}) {
      if (m_text.substr(m_pos, word.size()) == word) {
        value = word;
        m_pos += word.size();
        return true;
      }
    }
    return Number(value, error);
  }

  // A JSON number, checked by its grammar and kept as text.
  bool Number(std::string& value, std::string& error) {
    const size_t start = m_pos;
    Take('-');
    auto digits = [this] {
      size_t n = 0;
      while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos, ++n;
      return n;
    };
    const size_t whole = m_pos;
    if (digits() == 0 || (m_text[whole] == '0' && m_pos - whole > 1)) {
      error = "a value is a string, a number, true, false or null";
      return false;
    }
    if (Take('.') && digits() == 0) {
      error = "digits expected after '.'";
      return false;
    }
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (digits() == 0) {
        error = "digits expected in an exponent";
        return false;
      }
    }
    value = m_text.substr(start, m_pos - start);
    return true;
  }

  bool Hex4(uint32_t& code) {
    if (m_text.size() - m_pos < 4) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = m_text[m_pos++];
      code <<= 4;
      if (c >= '0' && c <= '9') code |= c - '0';
      else if (c >= 'a' && c <= 'f') code |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') code |= c - 'A' + 10;
      else return false;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, uint32_t code) {
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

  bool Escape(std::string& out, std::string& error) {
    if (m_pos >= m_text.size()) {
      error = "unfinished string";
      return false;
    }
    const char c = m_text[m_pos++];
    switch (c) {
      case '"': case '\\': case '/': out += c; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': break;
      default: error = "unknown escape in a string"; return false;
    }
    uint32_t code = 0;
    if (!Hex4(code)) {
      error = "four hex digits expected after \\u";
      return false;
    }
    if (code >= 0xD800 && code < 0xDC00) {
      uint32_t low = 0;
      if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
        error = "a high surrogate without its low half";
        return false;
      }
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else if (code >= 0xDC00 && code < 0xE000) {
      error = "a low surrogate without its high half";
      return false;
    }
    AppendUtf8(out, code);
    return true;
  }

  bool String(std::string& out, std::string& error) {
    if (!Take('"')) {
      error = "a string expected";
      return false;
    }
    while (m_pos < m_text.size()) {
      const char c = m_text[m_pos++];
      if (c == '"') return true;
      if (c == '\\') {
        if (!Escape(out, error)) return false;
      } else if (static_cast<unsigned char>(c) < 0x20) {
        error = "a control character inside a string";
        return false;
      } else {
        out += c;
      }
    }
    error = "unfinished string";
    return false;
  }

  std::string_view m_text;
  size_t m_pos = 0;
};

// Length of the valid UTF-8 sequence at text[i], or 0 when there is none.
size_t Utf8SequenceAt(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  uint32_t minimum = 0, code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, minimum = 0x80, code = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, minimum = 0x800, code = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, minimum = 0x10000, code = lead & 0x07;
  else return 0;
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return 0;
  return length;
}

void WriteString(std::string& out, std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 0xF];
    } else if (c >= 0x80) {
      if (const size_t n = Utf8SequenceAt(text, i)) {
        out += text.substr(i, n);
        i += n;
        continue;
      }
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
}

}  // namespace

std::optional<JsonMessage> ParseJsonMessage(std::string_view text, std::string& error) {
  return Reader(text).Object(error);
}

std::string WriteJsonMessage(const JsonMessage& message) {
  std::string out = "{";
  for (const auto& [name, value] : message) {
    if (out.size() > 1) out += ',';
    WriteString(out, name);
    out += ':';
    WriteString(out, value);
  }
  out += '}';
  return out;
}

std::string_view Member(const JsonMessage& message, std::string_view name) {
  const auto it = message.find(name);
  return it == message.end() ? std::string_view() : std::string_view(it->second);
}

}  // namespace hvhost
