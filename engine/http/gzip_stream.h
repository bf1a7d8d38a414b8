// Inflates a gzip body as it arrives: compressed bytes in, decoded bytes out
// in blocks the caller sizes, so a small body that inflates without end is
// handed on a block at a time and can be cut off at any block. Members of a
// body of several follow each other; bytes after the last are dropped.
#pragma once

#include <cstddef>
#include <memory>

#include <zlib.h>

class GzipStream {
 public:
  enum class State {
    inflating,  // inside a member, header and trailer included
    done,       // a member has ended; another may follow
    failed,     // not gzip, or corrupt
  };

  GzipStream();
  ~GzipStream();
  GzipStream(const GzipStream&) = delete;
  GzipStream& operator=(const GzipStream&) = delete;

  // The next compressed bytes; they must stay valid while Output uses them.
  void Input(const char* data, std::size_t length);
  // Decodes into out (up to size bytes) from the input given; the number of
  // bytes written, 0 once the input is used up or the stream has ended or
  // failed.
  std::size_t Output(char* out, std::size_t size);

  State GetState() const { return m_state; }
  bool Failed() const { return m_state == State::failed; }

 private:
  z_stream m_zs{};
  bool m_bOpen = false;
  bool m_bDropRest = false;  // bytes other than a member followed the end
  State m_state = State::inflating;
};
