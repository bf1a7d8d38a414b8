#include "engine/http/url.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "engine/http/web_scheme.h"

namespace {

// Host names and extensions are compared as ASCII whatever the user's locale.
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True for a port written as digits whose value is port ("80", "080").
bool IsPort(const char* text, std::uint16_t port) {
  if (!*text) return false;
  unsigned value = 0;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = value * 10 + static_cast<unsigned>(*text - '0');
    if (value > 0xFFFF) return false;
  }
  return value == port;
}

// Where the path of text begins: after "scheme:" and after "//host", so dot
// segments never reach into either.
std::size_t PathRoot(const std::string& text) {
  std::size_t root = 0;
  for (std::size_t i = 0; i < text.size() && text[i] != '/' && text[i] != '?' && text[i] != '#'; ++i)
    if (text[i] == ':') root = i + 1;
  if (text.compare(root, 2, "//") == 0) {
    root = text.find_first_of("/?#", root + 2);
    if (root == std::string::npos) root = text.size();
  }
  return root;
}

// Removes the dot segments of path[0, n) in place and returns the new
// length. Written front to back and never ahead of what is read, so no copy
// is needed and a long run of segments costs no repeated shifting.
std::size_t RemoveDotSegmentsIn(char* path, std::size_t n) {
  const auto segmentEnds = [&](std::size_t at) { return at == n || path[at] == '/'; };
  std::size_t out = 0;
  std::size_t in = 0;
  while (in < n) {
    const bool slash = path[in] == '/';
    if (slash && in + 2 < n && path[in + 1] == '.' && path[in + 2] == '.' && segmentEnds(in + 3)) {
      in += 3;
      const std::size_t previous = std::string_view(path, out).rfind('/');
      if (previous != std::string_view::npos) {
        out = previous;
        if (in == n) path[out++] = '/';  // "a/b/.." still names a directory
      } else if (out == 0) {
        // Above the root of an absolute path there is nothing to climb to.
        if (in == n) path[out++] = '/';
      } else {
        // A relative path loses its first segment together with the "..".
        out = 0;
        if (in < n) ++in;
      }
      continue;
    }
    if (slash && in + 1 < n && path[in + 1] == '.' && segmentEnds(in + 2)) {
      in += 2;
      if (in == n) path[out++] = '/';
      continue;
    }
    // Up to the next slash nothing can start a dot segment: the run goes on whole.
    const void* next = in + 1 < n ? std::memchr(path + in + 1, '/', n - in - 1) : nullptr;
    const std::size_t runEnd = next ? static_cast<std::size_t>(static_cast<const char*>(next) - path) : n;
    if (out != in) std::memmove(path + out, path + in, runEnd - in);
    out += runEnd - in;
    in = runEnd;
  }
  return out;
}

// Removes the dot segments of the path that starts at root; the query and
// fragment after it are data and stay as they are.
void RemoveDotSegmentsFrom(std::string& text, std::size_t root) {
  // One pass finds the path's end and whether a dot segment may start in
  // it: only a slash before a dot can, and most paths have none and are
  // left without being copied.
  const char* const chars = text.data();
  const std::size_t size = text.size();
  std::size_t end = root;
  bool dot = false;
  for (; end < size; ++end) {
    const char c = chars[end];
    if (c == '?' || c == '#') break;
    dot |= c == '.' && end > root && chars[end - 1] == '/';
  }
  if (!dot) return;
  const std::size_t kept = RemoveDotSegmentsIn(text.data() + root, end - root);
  text.erase(root + kept, end - root - kept);
}

}  // namespace

void SplitUrl(char* text, UrlParts& parts) {
  parts = UrlParts{};
  if (!text) return;
  const std::size_t length = std::strlen(text);

  char* rest = text;
  for (char* p = text; *p && *p != '/' && *p != '#'; ++p) {
    if (*p == ':') {
      *p = '\0';
      parts.scheme = text;
      rest = p + 1;
    }
  }

  // Backwards, so the fragment ends up starting after the first "#".
  for (std::size_t i = length; i-- > 0;) {
    if (text[i] == '#') {
      parts.fragment = text + i + 1;
      text[i] = '\0';
    }
  }

  if (rest[0] != '/') {
    if (rest[0]) parts.relative = rest;
  } else if (rest[1] == '/') {
    parts.host = rest + 2;
    if (char* slash = std::strchr(parts.host, '/')) {
      *slash = '\0';
      parts.path = slash + 1;
    }
  } else {
    parts.path = rest + 1;
  }

  // Only web hosts are known to be case-blind, with a default port by scheme.
  if (const std::uint16_t port = parts.host && parts.scheme ? hv::http::DefaultPort(parts.scheme) : 0; port != 0) {
    if (char* colon = std::strrchr(parts.host, ':'); colon && IsPort(colon + 1, port)) *colon = '\0';
    for (char* p = parts.host; *p; ++p) *p = AsciiLower(*p);
  }
}

namespace {

// Drops the last segment of the path that starts at pathStart, and its
// query. The search starts at the path, so a "?" or "/" in scheme or host is
// never taken.
void CutToFolder(std::string& result, std::size_t pathStart) {
  std::size_t from = result.find('?', pathStart);
  if (from == std::string::npos) from = result.size() - 1;
  result.resize(result.rfind('/', from) + 1);
}

// Writes the parts of link a, resolved against base b, chosen by flags.
// sizeHint: about as long as the result will be.
void ComposeParts(std::string& result, const UrlParts& a, UrlParts b, unsigned flags, std::size_t sizeHint) {
  const bool separators = (flags & URL_SEPARATORS) != 0;
  result.clear();
  result.reserve(sizeHint);  // the address grows in one block

  if (flags & URL_SCHEME) {
    if (const char* scheme = a.scheme ? a.scheme : b.scheme) {
      result += scheme;
      if (separators) result += ':';
    }
  }
  // Nothing of a base with another scheme applies to the link.
  if (a.scheme && b.scheme && std::strcmp(a.scheme, b.scheme) != 0)
    b.host = b.path = b.relative = b.fragment = nullptr;

  if ((flags & URL_HOST) && (a.host || b.host)) {
    if (separators) result += "//";
    result += a.host ? a.host : b.host;
  }
  if (a.host && b.host && std::strcmp(a.host, b.host) != 0) b.path = b.relative = b.fragment = nullptr;

  if (flags & URL_PATH) {
    if (a.path) {
      if (separators) result += '/';
      result += a.path;
    } else if (b.path) {
      const std::size_t pathStart = result.size();
      result += '/';
      result += b.path;
      if (a.relative) {
        CutToFolder(result, pathStart);
        result += a.relative;
        RemoveDotSegmentsFrom(result, pathStart);
      }
    } else if (a.relative) {
      if ((flags & URL_HOST) && (a.host || b.host) && separators && (result.empty() || result.back() != '/'))
        result += '/';
      result += a.relative;
    } else if (b.relative) {
      result += b.relative;
    } else {
      result += '/';
    }
  }

  if ((flags & URL_FRAGMENT) && (a.fragment || b.fragment)) {
    if (separators) result += '#';
    result += a.fragment ? a.fragment : b.fragment;
  }
}

}  // namespace

void ComposeUrl(std::string& result, const char* url, const char* base, unsigned flags) {
  // Copied before result is touched: the caller may pass result's own text.
  // The copies are kept per thread, so a page of links allocates for none.
  thread_local std::string urlText, baseText;
  urlText.assign(url ? url : "");
  baseText.assign(base ? base : "");
  UrlParts a{};
  UrlParts b{};
  SplitUrl(urlText.data(), a);
  if (base) SplitUrl(baseText.data(), b);
  ComposeParts(result, a, b, flags, urlText.size() + baseText.size() + 4);
}

CUrlBase::CUrlBase(const std::string& base) : m_base(base), m_split(base) {
  SplitUrl(m_split.data(), m_parts);
  // Most links of a page are relative to its folder: the canonical address
  // up to the folder is written once, as ComposeParts would write it.
  if (m_parts.path) {
    ComposeParts(m_folder, UrlParts{}, m_parts, URL_CANONICAL, m_base.size() + 4);
    m_folderPath = (m_parts.scheme ? std::strlen(m_parts.scheme) + 1 : 0) +
                   (m_parts.host ? std::strlen(m_parts.host) + 2 : 0);
    CutToFolder(m_folder, m_folderPath);
  }
}

void CUrlBase::Compose(std::string& result, const char* url, unsigned flags) const {
  thread_local std::string urlText;
  urlText.assign(url ? url : "");
  UrlParts a{};
  SplitUrl(urlText.data(), a);
  if (flags == URL_CANONICAL && m_parts.path && a.relative && !a.scheme && !a.host && !a.path) {
    result.reserve(m_folder.size() + urlText.size());
    result.assign(m_folder);
    result += a.relative;
    RemoveDotSegmentsFrom(result, m_folderPath);
    return;
  }
  ComposeParts(result, a, m_parts, flags, urlText.size() + m_base.size() + 4);
}

void RemoveDotSegments(std::string& text) { RemoveDotSegmentsFrom(text, PathRoot(text)); }

void ExtensionOf(const std::string& name, std::string& ext) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find_first_of("/\\", dot) != std::string::npos) {
    ext.clear();
    return;
  }
  std::string found = name.substr(dot);  // name and ext may be one string
  for (char& c : found) c = AsciiLower(c);
  ext = std::move(found);
}
