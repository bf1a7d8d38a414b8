// What the transport itself reads from a response, apart from the fields
// that go to the page record: where the header block ends, and how the body
// is framed and coded, so that a body cut short is not taken for a whole
// one, a chunked or gzip body is decoded, and a connection is kept only when
// its answer's end is known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct BodyFraming {
  bool interim = false;    // 1xx but 101: the answer proper follows
  bool noBody = false;     // 1xx, 204, 304: nothing follows the header
  bool hasLength = false;  // one Content-Length, which counts when not chunked
  std::uint64_t length = 0;
  bool chunked = false;    // Transfer-Encoding ends in chunked
  bool gzip = false;       // gzip content or transfer coding, alone
  // An HTTP/1.1 answer without "Connection: close" whose end is known: the
  // connection may carry the next request once the body has ended.
  bool keepAlive = false;
};

// The framing a complete header block gives.
BodyFraming ReadBodyFraming(std::string_view header);

class ResponseFraming {
 public:
  // skipInterim: an interim answer (100 Continue, 103 Early Hints), which an
  // HTTP/1.1 server may send before the answer proper, is taken as part of
  // the header block, up to the header size the transport accepts.
  explicit ResponseFraming(bool skipInterim = false) : m_bSkipInterim(skipInterim) {}

  // Takes the next received bytes, in pieces cut anywhere; returns how
  // many of them are body bytes.
  std::size_t Add(const char* data, std::size_t length);
  bool HeaderDone() const { return m_bHeaderDone; }
  // Once the header is done.
  const BodyFraming& Body() const { return m_body; }
  // Once the server has closed: fewer body bytes came than the header
  // declared. An answer that has no body (1xx, 204, 304) is never short.
  bool BodyShort() const;

 private:
  std::string m_header;  // up to the header size the transport accepts
  char m_tail[3] = {};   // the last header bytes, for an end marker across pieces
  bool m_bHeaderDone = false;
  const bool m_bSkipInterim;
  std::size_t m_nInterimBytes = 0;
  BodyFraming m_body;
  std::uint64_t m_nBody = 0;
};
