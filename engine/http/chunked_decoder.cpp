#include "engine/http/chunked_decoder.h"

#include <algorithm>

namespace {

// Sixteen hex digits would reach the sign bit of the counts the body is
// measured in further on; no real chunk comes near fifteen.
constexpr std::size_t kMaxSizeDigits = 15;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view ChunkedDecoder::Decode(const char*& data, const char* end) {
  while (data < end) {
    if (m_state == State::done || m_state == State::failed) return {};
    if (m_state == State::data) {
      const auto available = static_cast<std::uint64_t>(end - data);
      const auto take = static_cast<std::size_t>(std::min(m_nLeft, available));
      const std::string_view piece(data, take);
      data += take;
      m_nLeft -= take;
      if (m_nLeft == 0) m_state = State::dataEnd;
      return piece;
    }
    Step(*data++);
  }
  return {};
}

void ChunkedDecoder::Step(char c) {
  const bool inSizeLine = m_state == State::size || m_state == State::sizeBlank || m_state == State::extension ||
                          m_state == State::sizeLineEnd;
  if (inSizeLine && ++m_nLineBytes > kMaxSizeLine) {
    m_state = State::failed;
    return;
  }
  switch (m_state) {
    case State::size:
      if (const int digit = HexValue(c); digit >= 0) {
        m_bDigit = true;
        if (m_nLeft != 0 || digit != 0) ++m_nDigits;  // leading zeros say nothing
        if (m_nDigits > kMaxSizeDigits) {
          m_state = State::failed;
          return;
        }
        m_nLeft = m_nLeft * 16 + static_cast<unsigned>(digit);
        return;
      }
      if (!m_bDigit) {
        m_state = State::failed;  // "-1", "+1", "x" or nothing at all
        return;
      }
      [[fallthrough]];
    case State::sizeBlank:
      if (IsBlank(c)) {
        m_state = State::sizeBlank;
      } else if (c == ';') {
        m_state = State::extension;
      } else if (c == '\r') {
        m_state = State::sizeLineEnd;
      } else if (c == '\n') {
        EndSizeLine();
      } else {
        m_state = State::failed;
      }
      return;
    case State::extension:
      if (c == '\r') m_state = State::sizeLineEnd;
      if (c == '\n') EndSizeLine();
      return;
    case State::sizeLineEnd:
      if (c == '\n') {
        EndSizeLine();
      } else {
        m_state = State::failed;
      }
      return;
    case State::dataEnd:
      if (c == '\r') {
        m_state = State::dataLineEnd;
      } else if (c == '\n') {
        m_state = State::size;
      } else {
        m_state = State::failed;  // the chunk was longer than its size said
      }
      return;
    case State::dataLineEnd:
      m_state = c == '\n' ? State::size : State::failed;
      return;
    case State::trailer:
      if (++m_nTrailerBytes > kMaxTrailers) {
        m_state = State::failed;
      } else if (c == '\n') {
        if (m_nLineBytes == 0) m_state = State::done;
        m_nLineBytes = 0;
      } else if (c != '\r') {
        ++m_nLineBytes;
      }
      return;
    case State::data:
    case State::done:
    case State::failed:
      return;
  }
}

void ChunkedDecoder::EndSizeLine() {
  m_nLineBytes = 0;
  m_nDigits = 0;
  m_bDigit = false;
  m_state = m_nLeft == 0 ? State::trailer : State::data;
}
