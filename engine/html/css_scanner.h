// Finds the references of a stylesheet while it streams past: every url()
// and every @import, with the byte range it covers and its value as CSS
// reads it (escapes decoded). It tokenizes as a browser does where that
// decides what is a reference: strings, comments, escapes, and names, so
// "xurl(a)", "#url(a)" or a url( inside a comment or string is none, while
// "\75 rl(a)" is one. Everything else passes untouched. Input may stop at
// any byte; all state lives in members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CCssScanner {
 public:
  enum class Kind {
    import,  // the stylesheet named by an @import
    url,     // any other url(): an image, a font
  };
  struct Reference {
    Kind kind;
    const std::string& value;  // decoded
    std::int64_t start;        // offset of its first byte
    std::int64_t end;          // offset just past its last byte
    // The range is a string token (quotes included), so a string replaces
    // it; otherwise it is the whole url( ... ) token.
    bool quoted;
  };

  // A value longer than this is dropped unreported: no address is so long,
  // but inline data (data: fonts, pictures) may be much longer.
  static constexpr std::size_t kMaxValue = 32u << 10;

  virtual ~CCssScanner() = default;

  // Feeds the next bytes of the stylesheet.
  void Scan(const char* data, std::size_t length);
  // After the last byte: a reference the end of input closes (url(a at the
  // end) is reported too.
  void Finish();

  // Bytes fed so far.
  std::int64_t Scanned() const { return m_nScanned; }
  // The first byte a reference not yet reported may cover: bytes before it
  // can no longer be replaced. Scanned() when none is open.
  std::int64_t OpenFrom() const;

 protected:
  virtual void OnReference(const Reference& reference) = 0;

 private:
  enum class State {
    data,              // between tokens: looks for what may start a reference
    slash,             // a '/' that may open a comment
    comment,           // inside /* */
    commentStar,       // a '*' inside a comment
    name,              // a name that may be url or an at-keyword that may be import
    nameBackslash,     // a '\' in a name (or in one being skipped)
    hex,               // the hex digits of an escape
    hexCr,             // a CR ending a hex escape: an LF after it belongs to it
    afterImport,       // after @import: blanks and comments, then its address
    afterUrl,          // after url(: blanks, then a string or a bare value
    urlValue,          // the bare value of url(
    urlBackslash,      // a '\' in a bare value
    urlTrailing,       // blanks after a bare value: only ')' may follow
    badUrl,            // a malformed url( up to its ')'
    badUrlBackslash,   // a '\' there: the next byte is escaped
    string,            // inside a string
    stringBackslash,   // a '\' in a string
    stringBackslashCr  // '\' CR in a string: an LF after it belongs to it
  };

  // Handles bytes [p, end) from the current state; returns where it stopped.
  const char* Step(const char* p, const char* end);
  const char* ScanData(const char* p, const char* end);
  // A decoded character of the escape just read.
  void Emit(std::uint32_t code);
  // Adds to the value, or drops it once too long.
  void AddValue(const char* text, std::size_t size);
  void EndName(char next, bool hasNext);
  void StartString(char quote, bool reference);
  // A name that may be url( begins at p (its 'u', or a backslash escaping it).
  void StartUrlName(Kind kind, const char* p);
  void Report(std::int64_t end, bool quoted);
  void ResetReference();
  std::int64_t At(const char* p) const { return m_nBase + (p - m_pBuffer); }

  State m_state = State::data;
  State m_escapeReturn = State::data;      // where an escape goes back to
  State m_commentReturn = State::data;     // where a comment goes back to
  Kind m_kind = Kind::url;                 // of the reference being read
  bool m_bCollect = false;                 // the string being read is a reference
  bool m_bAtKeyword = false;               // the name read follows '@'
  bool m_bTooLong = false;                 // the value passed kMaxValue
  char m_cQuote = 0;
  unsigned char m_cLast = 0;               // the byte before the buffer
  std::uint32_t m_nHex = 0;
  int m_nHexDigits = 0;
  std::int64_t m_nScanned = 0;
  std::int64_t m_nBase = 0;                // offset of the buffer's first byte
  const char* m_pBuffer = nullptr;
  std::int64_t m_nNameStart = -1;
  std::int64_t m_nNameEnd = -1;            // just past the last escape that continued a name
  std::int64_t m_nRefStart = -1;           // of the reference being read; -1 when none
  std::string m_strName;                   // lower case, only while it may still be url or import
  std::string m_strValue;
};
