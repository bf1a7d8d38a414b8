#include "message_channel.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace hvhost {
namespace {

std::string Frame(uint32_t length, const std::string& body) {
  std::string frame(4, '\0');
  std::memcpy(frame.data(), &length, 4);
  return frame + body;
}

// A descriptor reading the given bytes and then the end of input.
int InputOf(const std::string& bytes) {
  const int fd = ::memfd_create("input", MFD_CLOEXEC);
  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

using Status = MessageReader::Status;

TEST(MessageChannel, reader_takes_whole_messages_and_stops_cleanly_on_broken_input) {
  struct Case {
    const char* what;
    std::string input;
    std::vector<std::pair<Status, std::string>> reads;  // error texts by a word they contain
  };
  const std::string big(kMaxIncoming, 'x');
  const Case cases[] = {
      {"nothing", "", {{Status::end, ""}}},
      {"two messages", Frame(2, "{}") + Frame(3, "abc"),
       {{Status::message, "{}"}, {Status::message, "abc"}, {Status::end, ""}}},
      {"empty message", Frame(0, ""), {{Status::message, ""}, {Status::end, ""}}},
      {"at the limit", Frame(kMaxIncoming, big), {{Status::message, big}, {Status::end, ""}}},
      {"one past the limit", Frame(kMaxIncoming + 1, big + "x"), {{Status::error, "limit"}}},
      {"a 1 GB claim", Frame(1u << 30, "{}"), {{Status::error, "1073741824 bytes is over"}}},
      {"the largest claim", Frame(UINT32_MAX, ""), {{Status::error, "limit"}}},
      {"half a length", std::string("\x02\x00", 2), {{Status::error, "inside a length"}}},
      {"after a message, half a length", Frame(2, "{}") + "\x05",
       {{Status::message, "{}"}, {Status::error, "inside a length"}}},
      {"a short body", Frame(10, "{\"a\":"), {{Status::error, "5 of 10"}}},
      {"a length with no body", Frame(4, ""), {{Status::error, "0 of 4"}}},
  };
  for (const Case& c : cases) {
    const int fd = InputOf(c.input);
    MessageReader reader(fd);
    for (const auto& [status, text] : c.reads) {
      const MessageReader::Result result = reader.Read();
      EXPECT_EQ(result.status, status) << c.what;
      if (status == Status::error)
        EXPECT_NE(result.text.find(text), std::string::npos) << c.what << ": " << result.text;
      else
        EXPECT_EQ(result.text, text) << c.what;
    }
    ::close(fd);
  }
}

TEST(MessageChannel, writer_frames_messages_and_refuses_what_the_browser_cannot_take) {
  const int fd = ::memfd_create("output", MFD_CLOEXEC);
  MessageWriter writer(fd);
  EXPECT_TRUE(writer.Write("{}"));
  EXPECT_TRUE(writer.Write(std::string(kMaxOutgoing, 'y')));
  EXPECT_FALSE(writer.Write(std::string(kMaxOutgoing + 1, 'z')));
  ::lseek(fd, 0, SEEK_SET);
  MessageReader reader(fd, kMaxOutgoing);
  EXPECT_EQ(reader.Read().text, "{}");
  EXPECT_EQ(reader.Read().text, std::string(kMaxOutgoing, 'y'));
  EXPECT_EQ(reader.Read().status, Status::end);
  ::close(fd);
}

}  // namespace
}  // namespace hvhost
