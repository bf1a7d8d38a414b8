#include "message_channel.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace hvhost {

long MessageReader::ReadFully(char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(m_fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}

MessageReader::Result MessageReader::Read() {
  char header[4];
  const long got = ReadFully(header, sizeof header);
  if (got == 0) return {Status::end, {}};
  if (got < 0) return {Status::error, std::string("reading the input failed: ") + std::strerror(errno)};
  if (got < 4) return {Status::error, "the input ended inside a length"};
  uint32_t length = 0;
  std::memcpy(&length, header, sizeof length);
  if (length > m_limit)
    return {Status::error, "a message of " + std::to_string(length) + " bytes is over the limit of " +
                               std::to_string(m_limit)};
  Result result{Status::message, std::string(length, '\0')};
  const long body = length ? ReadFully(result.text.data(), length) : 0;
  if (body < 0) return {Status::error, std::string("reading the input failed: ") + std::strerror(errno)};
  if (static_cast<size_t>(body) < length)
    return {Status::error, "the input ended after " + std::to_string(body) + " of " + std::to_string(length) +
                               " bytes of a message"};
  return result;
}

bool MessageWriter::Write(std::string_view json) {
  if (json.size() > kMaxOutgoing) return false;
  const uint32_t length = static_cast<uint32_t>(json.size());
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  frame += json;
  std::lock_guard lock(m_mutex);
  size_t done = 0;
  while (done < frame.size()) {
    const ssize_t n = ::write(m_fd, frame.data() + done, frame.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace hvhost
