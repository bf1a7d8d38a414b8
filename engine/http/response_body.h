// A response's body from the received bytes to the bytes of the page: the
// chunks taken apart, a gzip coding inflated a block at a time, and the end
// of the body found where its framing puts it, so that a connection can
// carry the next answer and a body cut short is known as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/http/chunked_decoder.h"
#include "engine/http/gzip_stream.h"
#include "engine/http/response_framing.h"

class ResponseBody {
 public:
  static constexpr std::size_t kBlockSize = 4096;  // largest piece handed on
  // Takes decoded bytes; false stops the body.
  using Sink = std::function<bool(const char* data, std::size_t length)>;

  // kept: the connection is to carry another answer, so a body with a
  // length (or none) ends there; otherwise such a body runs to the close, as
  // the first HTTP has it. A chunked body ends at its last chunk either way.
  ResponseBody(const BodyFraming& framing, bool kept);

  // The next received body bytes; false once the sink has said stop.
  bool Add(const char* data, std::size_t length, const Sink& sink);

  // The end the framing gives has come.
  bool Ended() const;
  // The chunks or the gzip coding are broken.
  bool Failed() const;
  // Bytes came after the end: the connection is out of step.
  bool Overrun() const { return m_bOverrun; }
  // Ended on a connection that is to carry another answer, with nothing
  // after the end that was not asked for.
  bool MayCarryMore() const { return m_bKept && Ended() && !m_bOverrun; }
  bool Kept() const { return m_bKept; }
  // The rest is only skipped: a gzip coding need not be undone any more.
  void StopDecoding() { m_pGzip.reset(); }
  // At the close: the end the framing promised has not come.
  bool ShortAtClose() const;
  // Decoded bytes handed on.
  std::uint64_t Decoded() const { return m_nDecoded; }

 private:
  bool Deliver(const char* data, std::size_t length, const Sink& sink);

  const BodyFraming m_framing;
  const bool m_bKept;
  ChunkedDecoder m_chunks;
  std::unique_ptr<GzipStream> m_pGzip;  // with a gzip coding
  bool m_bGzipStarted = false;
  std::uint64_t m_nRaw = 0;  // received bytes taken as body
  std::uint64_t m_nDecoded = 0;
  bool m_bOverrun = false;
  char m_block[kBlockSize];
};
