// One message between processes on a window link: a length word, a fixed
// body, little-endian, and for the few messages that carry one a text or a
// block of at most kMaxPayload bytes. A reader judges the length before it
// reads a byte of the rest, so a peer can never make it wait for or hold
// more than one bounded frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
  // A window text or a dropped-file block that travels with the message.
  std::string payload;
};

constexpr std::size_t kFrameBody = 32;
constexpr std::size_t kFrameSize = 4 + kFrameBody;
constexpr std::size_t kMaxPayload = 8192;
using FrameBytes = std::vector<std::uint8_t>;

// Empty when the payload is too long to be sent.
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
  std::vector<std::uint8_t> m_buffer = std::vector<std::uint8_t>(kFrameSize);
  std::size_t m_have = 0;
  std::size_t m_need = kFrameSize;
};

}  // namespace hv::win
