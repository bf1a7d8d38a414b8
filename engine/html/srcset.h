// A srcset attribute (an IMG's or a SOURCE's list of pictures for different
// screens) split into its candidates as a browser splits them: a URL runs to
// the next blank, commas after it end the candidate, and its descriptors
// ("2x", "480w", anything in parentheses) run to a comma outside
// parentheses. So "a,b.jpg 1x" is one URL with a comma in it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hv::html {

struct SrcsetUrl {
  std::size_t start = 0;
  std::size_t length = 0;
};

// Where the candidates' URLs are in the value, in order.
std::vector<SrcsetUrl> SrcsetUrls(std::string_view value);

// The value with each URL for which replace gives a new text replaced by
// that text (an empty answer keeps the URL); blanks, commas and
// descriptors keep their bytes. A new text is written so that it reads
// back as one URL: blanks in it, and commas at its ends, are
// percent-encoded.
template <typename Replace>
std::string RewriteSrcset(std::string_view value, Replace&& replace);

// One URL's new text as RewriteSrcset writes it.
void AppendSrcsetUrl(std::string& out, std::string_view url);

template <typename Replace>
std::string RewriteSrcset(std::string_view value, Replace&& replace) {
  std::string out;
  std::size_t copied = 0;
  for (const SrcsetUrl& url : SrcsetUrls(value)) {
    const std::string replacement = replace(value.substr(url.start, url.length));
    if (replacement.empty()) continue;
    out.append(value, copied, url.start - copied);
    AppendSrcsetUrl(out, replacement);
    copied = url.start + url.length;
  }
  if (copied == 0 && out.empty()) return std::string(value);
  out.append(value, copied);
  return out;
}

}  // namespace hv::html
