// Feeds arbitrary srcset values to the candidate splitter and rewriter:
// every URL lies inside the value, in order, without blanks and without a
// comma at either end; a rewrite that keeps every URL gives the value back;
// one that replaces each URL with a text of the input's choosing (blanks
// and commas included) gives a value that splits back into as many
// candidates, each the written form of its new text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/html/srcset.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "srcset_fuzzer: %s\n", what.c_str());
  std::abort();
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Up to the first NUL the value; the rest makes the new texts.
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view value = input.substr(0, nul);
  std::string_view texts = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  if (texts.empty()) texts = "x";

  const auto urls = hv::html::SrcsetUrls(value);
  std::size_t end = 0;
  for (const hv::html::SrcsetUrl& url : urls) {
    if (url.length == 0 || url.start < end || url.start + url.length > value.size()) Fail("URL out of place");
    const std::string_view text = value.substr(url.start, url.length);
    if (text.front() == ',' || text.back() == ',') Fail("URL with a comma at an end");
    for (char c : text)
      if (IsBlank(c)) Fail("URL with a blank");
    end = url.start + url.length;
  }
  if (hv::html::RewriteSrcset(value, [](std::string_view) { return std::string(); }) != value)
    Fail("value changed with every URL kept");

  std::vector<std::string> expected;
  std::size_t at = 0;
  const std::string rewritten = hv::html::RewriteSrcset(value, [&](std::string_view) {
    // Non-empty texts of up to 8 bytes, taken in turn from the input.
    const std::string text(texts.substr(at % texts.size(), 1 + at % 8));
    at += text.size();
    std::string written;
    hv::html::AppendSrcsetUrl(written, text);
    expected.push_back(written);
    return text;
  });
  std::vector<std::string> found;
  for (const hv::html::SrcsetUrl& url : hv::html::SrcsetUrls(rewritten)) found.push_back(rewritten.substr(url.start, url.length));
  if (found != expected) Fail("rewritten value splits into other candidates");
  return 0;
}
