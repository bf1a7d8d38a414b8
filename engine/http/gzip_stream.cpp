#include "engine/http/gzip_stream.h"

#include <limits>

namespace {

constexpr int kGzipOnly = 16 + MAX_WBITS;
constexpr unsigned char kMagic = 0x1f;  // a gzip member's first byte

}  // namespace

GzipStream::GzipStream() {
  m_bOpen = inflateInit2(&m_zs, kGzipOnly) == Z_OK;
  if (!m_bOpen) m_state = State::failed;
}

GzipStream::~GzipStream() {
  if (m_bOpen) inflateEnd(&m_zs);
}

void GzipStream::Input(const char* data, std::size_t length) {
  // zlib counts in 32 bits; the transport never hands more than a block.
  if (length > std::numeric_limits<uInt>::max()) length = std::numeric_limits<uInt>::max();
  m_zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  m_zs.avail_in = static_cast<uInt>(length);
}

std::size_t GzipStream::Output(char* out, std::size_t size) {
  if (size > std::numeric_limits<uInt>::max()) size = std::numeric_limits<uInt>::max();
  m_zs.next_out = reinterpret_cast<Bytef*>(out);
  m_zs.avail_out = static_cast<uInt>(size);
  for (;;) {
    if (m_state == State::done && m_zs.avail_in == 0) break;
    if (m_state == State::done) {
      // Only another member goes on; anything else after the end is dropped.
      if (m_bDropRest || *m_zs.next_in != kMagic || inflateReset(&m_zs) != Z_OK) {
        m_bDropRest = true;  // for good: where the input was cut must not matter
        m_zs.avail_in = 0;
        break;
      }
      m_state = State::inflating;
    }
    if (m_state != State::inflating) break;
    // Called even without new input: a full block may have left output
    // inside zlib.
    const int result = inflate(&m_zs, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      m_state = State::done;
    } else if (result == Z_BUF_ERROR) {
      break;  // nothing more to do until more input comes
    } else if (result != Z_OK) {
      m_state = State::failed;  // corrupt, or a preset dictionary no gzip has
      break;
    }
    if (m_zs.avail_out < size || (m_zs.avail_in == 0 && m_state == State::inflating)) break;
  }
  return size - m_zs.avail_out;
}
