#include "engine/http/response_body.h"

#include <algorithm>
#include <string_view>

ResponseBody::ResponseBody(const BodyFraming& framing, bool kept) : m_framing(framing), m_bKept(kept) {
  if (framing.gzip && !framing.noBody) m_pGzip = std::make_unique<GzipStream>();
}

bool ResponseBody::Ended() const {
  if (m_framing.chunked) return m_chunks.Done();
  if (!m_bKept) return false;
  if (m_framing.noBody) return true;
  return m_framing.hasLength && m_nRaw >= m_framing.length;
}

bool ResponseBody::Failed() const { return m_chunks.Failed() || (m_pGzip && m_pGzip->Failed()); }

bool ResponseBody::ShortAtClose() const {
  if (m_framing.noBody) return false;
  if (m_framing.chunked ? !m_chunks.Done() : m_framing.hasLength && m_nRaw < m_framing.length) return true;
  return m_bGzipStarted && m_pGzip && m_pGzip->GetState() == GzipStream::State::inflating;
}

bool ResponseBody::Add(const char* data, std::size_t length, const Sink& sink) {
  if (length == 0 || Failed()) return true;
  if (Ended()) {
    m_bOverrun = true;
    return true;
  }
  if (m_framing.chunked) {
    const char* next = data;
    const char* end = data + length;
    while (next < end) {
      const std::string_view piece = m_chunks.Decode(next, end);
      if (piece.empty()) break;
      if (!Deliver(piece.data(), piece.size(), sink)) return false;
    }
    m_nRaw += static_cast<std::size_t>(next - data);
    if (next < end && m_chunks.Done()) m_bOverrun = true;
    return true;
  }
  std::size_t take = length;
  if (m_bKept && m_framing.hasLength) {
    take = static_cast<std::size_t>(std::min<std::uint64_t>(length, m_framing.length - m_nRaw));
  }
  m_nRaw += length;
  if (take < length) m_bOverrun = true;
  return take == 0 || Deliver(data, take, sink);
}

bool ResponseBody::Deliver(const char* data, std::size_t length, const Sink& sink) {
  if (!m_pGzip) {
    m_nDecoded += length;
    return sink(data, length);
  }
  m_bGzipStarted = true;
  m_pGzip->Input(data, length);
  // One block at a time: a body that inflates without end is stopped by
  // the sink at the first block too many.
  while (const std::size_t decoded = m_pGzip->Output(m_block, sizeof m_block)) {
    m_nDecoded += decoded;
    if (!sink(m_block, decoded)) return false;
  }
  return true;
}
