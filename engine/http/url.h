// Splitting of URLs into their parts, resolution of links against the page
// they appear on, and the keys the retrieval compares locations by.
#pragma once

#include <string>

// Parts of a split URL: pointers into the caller's copy of the text, each
// null when the URL has no such part.
struct UrlParts {
  char* scheme;    // before the first ":" that precedes any "/" or "#"
  char* host;      // after "//": host name, optionally ":" and port
  char* path;      // an absolute path without its leading "/", query included
  char* relative;  // the rest when it does not begin with "/"
  char* fragment;  // after the first "#"
};

// Which parts ComposeUrl writes. URL_SEPARATORS adds ":", "//", "/" and "#"
// between them, so without it the parts are run together as comparison keys.
constexpr unsigned URL_SEPARATORS = 1;
constexpr unsigned URL_FRAGMENT = 2;
constexpr unsigned URL_PATH = 4;
constexpr unsigned URL_HOST = 8;
constexpr unsigned URL_SCHEME = 16;

constexpr unsigned URL_CANONICAL = URL_SCHEME | URL_HOST | URL_PATH | URL_SEPARATORS;
constexpr unsigned URL_CANONICAL_FRAGMENT = URL_CANONICAL | URL_FRAGMENT;
constexpr unsigned URL_FRAGMENT_ONLY = URL_FRAGMENT | URL_SEPARATORS;
constexpr unsigned URL_REQUEST_PATH = URL_PATH | URL_SEPARATORS;
constexpr unsigned URL_CONNECT_HOST = URL_HOST;
constexpr unsigned URL_COMPARE_KEY = URL_HOST | URL_PATH;

// Splits text in place: NUL bytes are written into it and the parts point
// into it. An http or https host loses its default port (":80", ":443")
// and is lower-cased.
void SplitUrl(char* text, UrlParts& parts);

// Resolves url against base (which may be null) and writes the parts chosen
// by flags into result.
void ComposeUrl(std::string& result, const char* url, const char* base, unsigned flags);

// A base split once, for resolving the many links of one page against it:
// Compose gives what ComposeUrl gives with the same base.
class CUrlBase {
 public:
  explicit CUrlBase(const std::string& base);
  CUrlBase(const CUrlBase&) = delete;  // the parts point into its own text
  CUrlBase& operator=(const CUrlBase&) = delete;

  const std::string& Text() const { return m_base; }
  void Compose(std::string& result, const char* url, unsigned flags) const;

 private:
  std::string m_base;
  std::string m_split;  // m_base with NUL bytes between its parts
  UrlParts m_parts{};
  // For a base with a path: its canonical address up to the last "/" of the
  // path, and where the path starts in it.
  std::string m_folder;
  std::size_t m_folderPath = 0;
};

// Removes "." and ".." segments from the path of text, in place. The scheme
// and "//host" part are never touched, and a ".." above the first segment of
// an absolute path is dropped.
void RemoveDotSegments(std::string& text);

// The lower-cased extension of name, dot included; empty when the last dot
// belongs to a directory name or there is none.
void ExtensionOf(const std::string& name, std::string& ext);
