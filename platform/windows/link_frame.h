// One message between processes on a window link: a length word and a fixed
// body, little-endian. Every frame has the same length, so a reader never
// waits for more than one frame's bytes and any other length is a fault.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace hv::win {

enum class FrameKind : std::uint8_t {
  posted = 1,  // delivered, never answered
  sent = 2,    // delivered, answered by one reply
  reply = 3,   // the answer to a sent message: value in lParam
};

struct LinkFrame {
  FrameKind kind = FrameKind::posted;
  std::uint64_t window = 0;
  std::uint32_t message = 0;
  std::uint64_t wParam = 0;
  std::int64_t lParam = 0;
};

constexpr std::size_t kFrameBody = 32;
constexpr std::size_t kFrameSize = 4 + kFrameBody;
using FrameBytes = std::array<std::uint8_t, kFrameSize>;

FrameBytes EncodeFrame(const LinkFrame& frame);

// Collects bytes as they come and hands out whole frames. A wrong length, a
// wrong mark or an unknown kind is a fault: the peer is not one of ours, and
// nothing after it can be trusted.
class FrameReader {
 public:
  enum class Result { needMore, frame, fault };

  // Takes bytes up to the end of the current frame; `used` tells how many.
  Result Feed(const std::uint8_t* bytes, std::size_t size, std::size_t& used, LinkFrame& out);

 private:
  FrameBytes m_buffer{};
  std::size_t m_have = 0;
};

}  // namespace hv::win
