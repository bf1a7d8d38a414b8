#include "engine/http/response_framing.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

#include "engine/http/http_header.h"

namespace {

bool NameIs(std::string_view name, std::string_view wanted) {
  return std::equal(name.begin(), name.end(), wanted.begin(), wanted.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// A plain count, or false.
bool ParseCount(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::size_t ResponseFraming::Add(const char* data, std::size_t length) {
  std::size_t used = 0;
  while (!m_bHeaderDone && used < length) {
    const char c = data[used++];
    if (m_header.size() < kMaxHttpHeader) m_header += c;
    // The earlier of "\n\n" and "\r\n\r\n" ends the block: it is also the
    // one that is complete first.
    const bool end = c == '\n' && (m_tail[2] == '\n' || (m_tail[0] == '\r' && m_tail[1] == '\n' && m_tail[2] == '\r'));
    m_tail[0] = m_tail[1];
    m_tail[1] = m_tail[2];
    m_tail[2] = c;
    if (end) {
      m_bHeaderDone = true;
      ParseHeader();
    }
  }
  m_nBody += length - used;
  return length - used;
}

bool ResponseFraming::BodyShort() const { return m_bHeaderDone && m_bHasLength && m_nBody < m_nLength; }

void ResponseFraming::ParseHeader() {
  const std::string_view header = m_header;
  const std::size_t firstEnd = header.find('\n');
  const std::string_view statusLine = header.substr(0, firstEnd);
  // The status code follows the first blank, as the page record reads it.
  const std::size_t blank = statusLine.find(' ');
  unsigned code = 0;
  if (blank != std::string_view::npos) {
    const std::string_view rest = statusLine.substr(blank + 1);
    std::from_chars(rest.data(), rest.data() + rest.size(), code);
  }
  if ((code >= 100 && code < 200) || code == 204 || code == 304) return;  // no body, whatever it says

  bool conflicting = false;
  for (std::size_t start = firstEnd; start != std::string_view::npos && start + 1 < header.size();) {
    const std::size_t end = header.find('\n', start + 1);
    const std::string_view line = header.substr(start + 1, end == std::string_view::npos ? end : end - start - 1);
    start = end;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !NameIs(line.substr(0, colon), "content-length")) continue;
    std::uint64_t value = 0;
    if (!ParseCount(Trimmed(line.substr(colon + 1)), value)) continue;
    // Two different lengths: no telling which holds, so neither is checked.
    if (m_bHasLength && value != m_nLength) conflicting = true;
    m_bHasLength = true;
    m_nLength = value;
  }
  if (conflicting) m_bHasLength = false;
}
