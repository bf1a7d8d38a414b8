#include "platform/windows/link_frame.h"

#include <algorithm>

namespace hv::win {

namespace {

constexpr std::uint8_t kMark0 = 'H', kMark1 = 'W';

void Put(std::uint8_t* at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t Get(const std::uint8_t* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= std::uint64_t(at[i]) << (8 * i);
  return value;
}

}  // namespace

// Layout: length(4) = 32 + payload, 'H' 'W', kind(1), 0(1), window(8),
// message(4), wParam(8), lParam(8), payload.
FrameBytes EncodeFrame(const LinkFrame& frame) {
  if (frame.payload.size() > kMaxPayload) return {};
  FrameBytes bytes(kFrameSize + frame.payload.size());
  Put(&bytes[0], kFrameBody + frame.payload.size(), 4);
  bytes[4] = kMark0;
  bytes[5] = kMark1;
  bytes[6] = static_cast<std::uint8_t>(frame.kind);
  Put(&bytes[8], frame.window, 8);
  Put(&bytes[16], frame.message, 4);
  Put(&bytes[20], frame.wParam, 8);
  Put(&bytes[28], static_cast<std::uint64_t>(frame.lParam), 8);
  std::copy(frame.payload.begin(), frame.payload.end(), bytes.begin() + kFrameSize);
  return bytes;
}

FrameReader::Result FrameReader::Feed(const std::uint8_t* bytes, std::size_t size, std::size_t& used,
                                      LinkFrame& out) {
  // The fixed part first: its length word tells how much follows.
  const std::size_t target = m_have < kFrameSize ? kFrameSize : m_need;
  used = std::min(size, target - m_have);
  if (m_buffer.size() < target) m_buffer.resize(target);
  std::copy_n(bytes, used, m_buffer.begin() + m_have);
  m_have += used;
  // The length is judged as soon as it is whole: a claim of a gigabyte is
  // refused before a byte of it is read.
  if (m_have >= 4) {
    const std::uint64_t length = Get(&m_buffer[0], 4);
    if (length < kFrameBody || length > kFrameBody + kMaxPayload) return Result::fault;
    m_need = 4 + length;
  }
  if (m_have >= 6 && (m_buffer[4] != kMark0 || m_buffer[5] != kMark1)) return Result::fault;
  if (m_have >= 8 && (m_buffer[6] < 1 || m_buffer[6] > 3 || m_buffer[7] != 0)) return Result::fault;
  if (m_have < m_need) {
    // The payload's bytes may already be here: take them in the same call.
    if (m_have == kFrameSize && used < size) {
      std::size_t more = 0;
      const Result result = Feed(bytes + used, size - used, more, out);
      used += more;
      return result;
    }
    return Result::needMore;
  }
  out.kind = static_cast<FrameKind>(m_buffer[6]);
  out.window = Get(&m_buffer[8], 8);
  out.message = static_cast<std::uint32_t>(Get(&m_buffer[16], 4));
  out.wParam = Get(&m_buffer[20], 8);
  out.lParam = static_cast<std::int64_t>(Get(&m_buffer[28], 8));
  out.payload.assign(m_buffer.begin() + kFrameSize, m_buffer.begin() + m_need);
  m_have = 0;
  m_need = kFrameSize;
  return Result::frame;
}

}  // namespace hv::win
