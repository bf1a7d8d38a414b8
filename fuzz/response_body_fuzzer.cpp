// Feeds arbitrary bytes as a response body through the transport's framing
// and decoders: chunked or not, gzip or not, on a kept connection or not,
// as the first byte chooses; once whole and once in pieces whose size the
// second byte chooses. Stops when the two runs differ in the bytes handed
// on or in where the body ended, or when a piece handed on is larger than a
// block.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/http/response_body.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "response_body_fuzzer: %s\n", what);
  std::abort();
}

struct Outcome {
  std::string decoded;
  bool ended, failed, overrun, shortAtClose;
};

Outcome Run(const BodyFraming& framing, bool kept, const std::uint8_t* data, std::size_t size, std::size_t piece) {
  ResponseBody body(framing, kept);
  Outcome outcome{};
  const auto sink = [&](const char* bytes, std::size_t length) {
    if (length == 0 || length > ResponseBody::kBlockSize) Fail("a piece of no bytes or more than a block");
    // A bomb's output is bounded as the page size limit bounds it.
    if (outcome.decoded.size() > (1u << 20)) return false;
    outcome.decoded.append(bytes, length);
    return true;
  };
  bool going = true;
  for (std::size_t at = 0; at < size && going; at += piece) {
    going = body.Add(reinterpret_cast<const char*>(data) + at, std::min(piece, size - at), sink);
  }
  outcome.ended = body.Ended();
  outcome.failed = body.Failed();
  outcome.overrun = body.Overrun();
  outcome.shortAtClose = body.ShortAtClose();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  BodyFraming framing;
  framing.chunked = data[0] & 1;
  framing.gzip = data[0] & 2;
  framing.hasLength = !framing.chunked && (data[0] & 4);
  framing.length = data[2];
  const bool kept = data[0] & 8;
  const std::size_t piece = 1 + data[1] % 64;
  const Outcome whole = Run(framing, kept, data + 3, size - 3, size);
  const Outcome pieces = Run(framing, kept, data + 3, size - 3, piece);
  const std::size_t common = std::min(whole.decoded.size(), pieces.decoded.size());
  if (whole.decoded.compare(0, common, pieces.decoded, 0, common) != 0) Fail("the pieces decode otherwise");
  const bool bounded = whole.decoded.size() > (1u << 20) || pieces.decoded.size() > (1u << 20);
  if (!bounded && whole.decoded != pieces.decoded) Fail("the pieces decode to more or less");
  // After a failure the transfer ends: where the body would have ended is moot.
  if (!bounded && (whole.failed != pieces.failed || (!whole.failed && whole.ended != pieces.ended)))
    Fail("the pieces end the body elsewhere");
  return 0;
}
