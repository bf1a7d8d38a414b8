// Native messaging on a pair of descriptors: each message is a 32-bit
// length in the machine's byte order followed by that many bytes of UTF-8
// JSON. The browser is trusted no further than its pipe: lengths are
// bounded before anything is allocated, and a short read is an error,
// never a wait for bytes that will not come.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace hvhost {

// The most a browser takes from its host in one message.
inline constexpr size_t kMaxOutgoing = 1024 * 1024;
// The most this host takes: its messages are an address and a title.
inline constexpr size_t kMaxIncoming = 1024 * 1024;

class MessageReader {
 public:
  enum class Status { message, end, error };
  struct Result {
    Status status = Status::end;
    std::string text;   // the message, or why reading failed
  };

  explicit MessageReader(int fd, size_t limit = kMaxIncoming) : m_fd(fd), m_limit(limit) {}
  // Blocks for the next message. `end` only at a clean end of input between
  // messages; after an error the stream is out of step and cannot go on.
  Result Read();

 private:
  // 0 at end of input, the count read otherwise (all of it unless the input ended), -1 on error.
  long ReadFully(char* data, size_t size);

  int m_fd;
  size_t m_limit;
};

// Writes whole messages; safe to call from several threads.
class MessageWriter {
 public:
  explicit MessageWriter(int fd) : m_fd(fd) {}
  // False when the message is too long for the browser or the pipe is closed.
  bool Write(std::string_view json);

 private:
  std::mutex m_mutex;
  int m_fd;
};

}  // namespace hvhost
