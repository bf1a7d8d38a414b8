// Takes a chunked body apart as it arrives, in pieces cut anywhere: chunk
// sizes, extensions and trailers are read and dropped, the chunks' bytes come
// out. A hostile size line (not hex, too large) or endless extensions or
// trailers end it as failed; it never waits for more than it has bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class ChunkedDecoder {
 public:
  enum class State {
    size,         // hex digits of the next chunk's size
    sizeBlank,    // blanks after the digits
    extension,    // ";name=value" up to the line end, dropped
    sizeLineEnd,  // the LF after a CR ending the size line
    data,         // the chunk's bytes
    dataEnd,      // the CR or LF after them
    dataLineEnd,  // the LF after that CR
    trailer,      // trailer lines up to an empty one
    done,         // the last chunk and its trailers have ended
    failed,
  };

  // Longest size line (extensions included) and all trailers together.
  static constexpr std::size_t kMaxSizeLine = 4096;
  static constexpr std::size_t kMaxTrailers = 64 * 1024;

  // Reads from [data, end) until it has a piece of body, which it returns
  // (pointing into the input), or until the input is used up or the body has
  // ended or failed (an empty piece). data moves past what was read; bytes
  // after the end stay unread.
  std::string_view Decode(const char*& data, const char* end);

  State GetState() const { return m_state; }
  bool Done() const { return m_state == State::done; }
  bool Failed() const { return m_state == State::failed; }

 private:
  // One byte of a size line, trailer or chunk end.
  void Step(char c);
  void EndSizeLine();

  State m_state = State::size;
  std::uint64_t m_nLeft = 0;       // chunk size while reading it, then bytes still to come
  std::size_t m_nDigits = 0;       // significant digits of the size so far
  bool m_bDigit = false;           // the size line has a digit at all
  std::size_t m_nLineBytes = 0;    // of the size line, or of the trailer line
  std::size_t m_nTrailerBytes = 0;
};
