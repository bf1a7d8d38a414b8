#include "engine/http/response_framing.h"

#include <algorithm>
#include <cctype>
#include <charconv>

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

// The comma-separated tokens of a value, trimmed, each given to take.
template <typename Take>
void ForEachToken(std::string_view value, Take take) {
  while (!value.empty()) {
    const std::size_t comma = value.find(',');
    const std::string_view token = Trimmed(value.substr(0, comma));
    if (!token.empty()) take(token);
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
}

bool IsGzip(std::string_view coding) { return NameIs(coding, "gzip") || NameIs(coding, "x-gzip"); }

}  // namespace

BodyFraming ReadBodyFraming(std::string_view header) {
  BodyFraming body;
  const std::size_t firstEnd = header.find('\n');
  const std::string_view statusLine = Trimmed(header.substr(0, firstEnd));
  // The status code follows the first blank, as the page record reads it.
  const std::size_t blank = statusLine.find(' ');
  unsigned code = 0;
  if (blank != std::string_view::npos) {
    const std::string_view rest = statusLine.substr(blank + 1);
    std::from_chars(rest.data(), rest.data() + rest.size(), code);
  }
  const std::string_view version = statusLine.substr(0, blank);
  bool persistent = version.size() == 8 && version.substr(0, 7) == "HTTP/1." && version[7] >= '1' && version[7] <= '9';

  bool conflicting = false;
  int encodings = 0;
  bool gzipContent = false;
  std::string_view lastTransfer;
  bool gzipTransfer = false;
  int transferCodings = 0;
  for (std::size_t start = firstEnd; start != std::string_view::npos && start + 1 < header.size();) {
    const std::size_t end = header.find('\n', start + 1);
    const std::string_view line = header.substr(start + 1, end == std::string_view::npos ? end : end - start - 1);
    start = end;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (NameIs(name, "content-length")) {
      std::uint64_t length = 0;
      if (!ParseCount(value, length)) continue;
      // Two different lengths: no telling which holds, so neither is checked.
      if (body.hasLength && length != body.length) conflicting = true;
      body.hasLength = true;
      body.length = length;
    } else if (NameIs(name, "transfer-encoding")) {
      ForEachToken(value, [&](std::string_view coding) {
        ++transferCodings;
        lastTransfer = coding;
        if (IsGzip(coding)) gzipTransfer = true;
      });
    } else if (NameIs(name, "content-encoding")) {
      ForEachToken(value, [&](std::string_view coding) {
        if (NameIs(coding, "identity")) return;
        ++encodings;
        gzipContent = IsGzip(coding);
      });
    } else if (NameIs(name, "connection")) {
      ForEachToken(value, [&](std::string_view option) {
        if (NameIs(option, "close")) persistent = false;
      });
    }
  }
  if (conflicting) body = BodyFraming{};
  if ((code >= 100 && code < 200) || code == 204 || code == 304) {
    body = BodyFraming{.interim = code < 200 && code != 101, .noBody = true, .keepAlive = persistent};
    return body;
  }
  body.chunked = NameIs(lastTransfer, "chunked");
  // One coding of either kind is undone; a stack of them is stored as sent.
  const int codings = encodings + transferCodings - (body.chunked ? 1 : 0);
  body.gzip = codings == 1 && (gzipContent || gzipTransfer);
  // Another transfer coding last has no end but the close; and a length
  // beside chunked is a message to be wary of: the connection goes after it.
  const bool endKnown = body.chunked ? !body.hasLength : transferCodings == 0 && body.hasLength && !conflicting;
  body.keepAlive = persistent && endKnown;
  if (body.chunked || transferCodings > 0) {
    body.hasLength = false;
    body.length = 0;
  }
  return body;
}

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
      m_body = ReadBodyFraming(m_header);
      m_nInterimBytes += m_header.size();
      m_bHeaderDone = !(m_bSkipInterim && m_body.interim && m_nInterimBytes <= kMaxHttpHeader);
      m_header.clear();
      if (m_bHeaderDone) m_header.shrink_to_fit();
      std::fill(std::begin(m_tail), std::end(m_tail), '\0');
    }
  }
  m_nBody += length - used;
  return length - used;
}

bool ResponseFraming::BodyShort() const {
  return m_bHeaderDone && !m_body.noBody && m_body.hasLength && m_nBody < m_body.length;
}
