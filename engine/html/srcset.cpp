#include "engine/html/srcset.h"

namespace hv::html {

namespace {

// The blanks of HTML: space, tab, line feed, form feed, carriage return.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

}  // namespace

std::vector<SrcsetUrl> SrcsetUrls(std::string_view value) {
  std::vector<SrcsetUrl> urls;
  const std::size_t size = value.size();
  std::size_t at = 0;
  for (;;) {
    while (at < size && (IsBlank(value[at]) || value[at] == ',')) ++at;
    if (at == size) break;
    const std::size_t start = at;
    while (at < size && !IsBlank(value[at])) ++at;
    std::size_t end = at;
    if (value[end - 1] == ',') {
      // The commas end the candidate; it has no descriptors. The first
      // byte is no comma, so something is left.
      while (value[end - 1] == ',') --end;
      urls.push_back({start, end - start});
      continue;
    }
    urls.push_back({start, end - start});
    // Descriptors, up to a comma that is not inside parentheses.
    bool inParentheses = false;
    while (at < size) {
      const char c = value[at++];
      if (inParentheses) {
        if (c == ')') inParentheses = false;
      } else if (c == '(') {
        inParentheses = true;
      } else if (c == ',') {
        break;
      }
    }
  }
  return urls;
}

void AppendSrcsetUrl(std::string& out, std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t run = 0;  // the bytes from here on go as they are, a run at a time
  for (std::size_t i = 0; i < url.size(); ++i) {
    const char c = url[i];
    const bool comma = c == ',' && (i == 0 || i + 1 == url.size());
    if (!IsBlank(c) && !comma) continue;
    out.append(url, run, i - run);
    out += '%';
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[static_cast<unsigned char>(c) & 15];
    run = i + 1;
  }
  out.append(url, run);
}

}  // namespace hv::html
