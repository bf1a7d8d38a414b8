#include "engine/http/http_header.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "engine/cache/page_descr.h"
#include "engine/http/http_date.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The end of the line (or of the text) at or after pos.
std::size_t LineEnd(std::string_view text, std::size_t pos) {
  const std::size_t end = text.find_first_of("\r\n", pos);
  return end == npos ? text.size() : end;
}

// A non-negative decimal that fits an int32, blanks around it allowed; -1
// when the text is anything else, so a broken value never reads as a size.
std::int32_t ParseCount(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return -1;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return -1;
  }
  return static_cast<std::int32_t>(value);
}

// Header values end up in later requests (Location, the realm's
// credentials), in the settings and the cache index, and on the terminal.
// A hostile server must not smuggle line ends or escape sequences into any
// of them, so every value kept drops control bytes other than tab. Only the
// whole block kept as status text of an unreadable response keeps its line
// ends, which it cannot do without. Cookies are passed untouched: the store
// refuses any cookie with a control byte rather than altering it.
std::string Printable(std::string_view text, bool keepLineEnds = false) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool lineEnd = c == '\r' || c == '\n';
    if ((byte < 0x20 && c != '\t' && !(keepLineEnds && lineEnd)) || byte == 0x7F) continue;
    out += c;
  }
  return out;
}

// Looks names up on the upper-cased copy and takes values from the text as
// received at the same positions. A field name counts only at the start of
// a line: "Content-Location:" is not "Location:", and a value that quotes a
// header ("X-Echo: set-cookie: a=1") sets nothing.
class HeaderBlock {
 public:
  explicit HeaderBlock(const std::string& text) : m_text(text), m_upper(text) {
    for (char& c : m_upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }

  std::string_view Text() const { return m_text; }

  // The position just after the first field of that name starting a line
  // at or after from, or npos.
  std::size_t AfterField(std::string_view name, std::size_t from = 0) const {
    for (std::size_t pos = std::string_view(m_upper).find(name, from); pos != npos;
         pos = std::string_view(m_upper).find(name, pos + 1)) {
      if (pos == 0 || m_upper[pos - 1] == '\n' || m_upper[pos - 1] == '\r') return pos + name.size();
    }
    return npos;
  }

  // The position of name within [from, to), or npos.
  std::size_t Find(std::string_view name, std::size_t from, std::size_t to) const {
    return std::string_view(m_upper).substr(0, to).find(name, from);
  }

  // The value of "name " up to the line end; false when the name is absent.
  bool LineValue(std::string_view name, std::string_view& value) const {
    const std::size_t start = AfterField(name);
    if (start == npos) return false;
    value = Text().substr(start, LineEnd(Text(), start) - start);
    return true;
  }

  // Where the value of a "name:" field whose name ends at start begins:
  // after the first blank that follows on its line; npos without a blank.
  std::size_t ValueAfterBlank(std::size_t start) const {
    if (start == npos) return npos;
    const std::size_t blank = Text().substr(0, LineEnd(Text(), start)).find(' ', start);
    return blank == npos ? npos : blank + 1;
  }

 private:
  std::string_view m_text;
  std::string m_upper;
};

void ParseStatus(std::string_view text, CPageDescr& page) {
  const std::size_t blank = text.find(' ');
  page.m_strStatusLine = Printable(text.substr(0, text.find_first_of(" \r\n")));
  std::int32_t code = 0;
  std::size_t digitsEnd = npos;
  if (blank != npos) {
    digitsEnd = text.find_first_not_of("0123456789", blank + 1);
    if (digitsEnd == npos) digitsEnd = text.size();
    code = std::max<std::int32_t>(ParseCount(text.substr(blank + 1, digitsEnd - blank - 1)), 0);
  }
  page.m_nStatusCode = code;
  if (code == 0) {
    page.m_strStatusText = Printable(text, true);
    return;
  }
  // The text follows the three digits and a blank; a line that ends sooner
  // has none, rather than the next header line.
  const std::size_t lineEnd = LineEnd(text, digitsEnd);
  const std::size_t start = std::min(blank + 1 + 4, lineEnd);
  page.m_strStatusText = Printable(text.substr(start, lineEnd - start));
}

void ParseRealm(const HeaderBlock& header, CPageDescr& page) {
  std::size_t start = header.AfterField("WWW-AUTHENTICATE:");
  if (start == npos) return;
  // The realm is read on the field's own line only.
  const std::string_view text = header.Text().substr(0, LineEnd(header.Text(), start));
  const std::size_t realm = header.Find("REALM", start, text.size());
  if (realm != npos) {
    start = text.find('=', realm);
    if (start == npos) return;
    ++start;
  }
  start = text.find_first_not_of(" \t", start);
  if (start == npos) return;
  std::size_t end;
  if (text[start] == '"') {
    ++start;
    end = text.find('"', start);
  } else {
    end = text.find(' ', start);
  }
  if (end == npos) end = text.size();
  page.m_strRealm = Printable(text.substr(start, end - start));
}

}  // namespace

std::size_t FindHeaderEnd(const std::string& text) {
  const std::size_t lf = text.find("\n\n");
  const std::size_t crlf = text.find("\r\n\r\n");
  if (lf == npos && crlf == npos) return 0;
  return lf < crlf ? lf + 2 : crlf + 4;
}

void ParseHttpHeader(const std::string& block, CPageDescr& page,
                     const std::function<void(const std::string&)>& setCookie) {
  const HeaderBlock header(block);
  const std::string_view text = header.Text();
  ParseStatus(text, page);

  std::string_view value;
  if (header.LineValue("CONTENT-LENGTH: ", value)) {
    const std::int32_t length = ParseCount(value);
    if (length >= 0) page.m_nContentLength = length;
  }
  if (header.LineValue("CONTENT-TYPE: ", value)) page.m_strContentType = Printable(value);
  if (header.LineValue("TITLE: ", value)) page.m_strTitle = Printable(value);
  ParseRealm(header, page);

  if (std::size_t start = header.ValueAfterBlank(header.AfterField("LAST-MODIFIED:")); start != npos) {
    page.m_strLastModifiedText = Printable(text.substr(start, LineEnd(text, start) - start));
    // A date before 1970 is as unknown as an unreadable one.
    const std::int32_t time = ParseHttpDateUtc(page.m_strLastModifiedText.c_str());
    page.m_tLastModified = time > 0 ? static_cast<std::uint32_t>(time) : 0;
    page.m_bFlag = page.m_tLastModified != 0 && page.m_tLastModified >= page.m_tStoredAt ? 1 : 0;
  }
  if (std::size_t start = header.ValueAfterBlank(header.AfterField("LOCATION:")); start != npos) {
    const std::size_t end = text.find_first_of(" \r\n", start);
    page.m_strLocation = Printable(text.substr(start, (end == npos ? text.size() : end) - start));
  }
  // Every cookie counts: a site may set many with one answer.
  for (std::size_t field = header.AfterField("SET-COOKIE:"); field != npos;
       field = header.AfterField("SET-COOKIE:", field)) {
    const std::size_t start = header.ValueAfterBlank(field), end = LineEnd(text, field);
    if (start != npos && end < text.size()) setCookie(std::string(text.substr(start, end - start)));
  }
}
