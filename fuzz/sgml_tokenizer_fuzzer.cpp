// Feeds arbitrary bytes to the tokenizer twice, whole taking text a
// character at a time and in pieces whose sizes the input chooses taking
// text in runs, and stops on any broken invariant or on any difference
// between the two.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "html/recording_parser.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "sgml_tokenizer_fuzzer: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the largest piece and seeds the piece sizes.
  const unsigned largest = 1u + data[0] % 64u;
  std::uint32_t seed = data[0] * 2654435761u + 1u;
  const std::string document(reinterpret_cast<const char*>(data + 1), size - 1);

  const hvtest::Recording whole = hvtest::Record(document);
  hvtest::CRecordingParser pieces(&document);
  for (std::size_t at = 0; at < document.size();) {
    seed = seed * 1664525u + 1013904223u;
    const std::size_t n = std::min<std::size_t>(1u + (seed >> 16) % largest, document.size() - at);
    pieces.Parse(document.data() + at, n);
    at += n;
  }

  if (!whole.faults.empty()) Fail(whole.faults.front());
  if (!pieces.faults.empty()) Fail(pieces.faults.front());
  if (whole.events != pieces.events) Fail("events differ between whole and pieces");
  return 0;
}
