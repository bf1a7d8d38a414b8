// Chunked bodies taken apart whole, split at every byte and byte by byte;
// hostile size lines and endless extensions or trailers fail, never hang.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/http/chunked_decoder.h"

namespace {

using State = ChunkedDecoder::State;
using namespace std::string_literals;

struct Result {
  std::string body;
  State state;
  std::size_t unread = 0;  // bytes after the end
};

// Feeds text in pieces ending at the cuts (sorted offsets).
Result DecodeAll(const std::string& text, std::initializer_list<std::size_t> cuts = {}, std::size_t step = 0) {
  ChunkedDecoder decoder;
  Result result;
  std::size_t from = 0;
  auto feed = [&](std::size_t to) {
    const char* data = text.data() + from;
    const char* end = text.data() + to;
    while (data < end) {
      const std::string_view piece = decoder.Decode(data, end);
      if (piece.empty()) break;
      result.body += piece;
    }
    result.unread += static_cast<std::size_t>(end - data);
    from = to;
  };
  if (step > 0) {
    for (std::size_t to = step; to < text.size(); to += step) feed(to);
  }
  for (const std::size_t cut : cuts) feed(cut);
  feed(text.size());
  result.state = decoder.GetState();
  return result;
}

const struct Case {
  const char* name;
  std::string input;
  std::string body;
  State state;
} kCases[] = {
    {"two chunks", "5\r\nHello\r\n6\r\n world\r\n0\r\n\r\n", "Hello world", State::done},
    {"bare line feeds", "3\nabc\n0\n\n", "abc", State::done},
    {"hex of either case, leading zeros", "0000000000000000000A\r\n0123456789\r\nf\r\nabcdefghijklmno\r\n0\r\n\r\n",
     "0123456789abcdefghijklmno", State::done},
    {"extensions and blanks", "4 ;a=b;c=\"d\"\r\nWiki\r\n0;last\r\n\r\n", "Wiki", State::done},
    {"trailers", "2\r\nok\r\n0\r\nExpires: never\r\nX-A: b\r\n\r\n", "ok", State::done},
    {"bytes in a chunk look like framing", "5\r\n0\r\n\r\n\r\n0\r\n\r\n", "0\r\n\r\n", State::done},
    {"no final chunk yet", "5\r\nHello\r\n", "Hello", State::size},
    {"cut inside a chunk", "a\r\n01234", "01234", State::data},
    {"final chunk without its empty line", "0\r\nX: y\r\n", "", State::trailer},
    {"negative size", "-1\r\nx\r\n0\r\n\r\n", "", State::failed},
    {"plus sign", "+1\r\nx\r\n0\r\n\r\n", "", State::failed},
    {"no size", "\r\nx\r\n0\r\n\r\n", "", State::failed},
    {"not hex", "1g\r\nx\r\n", "", State::failed},
    {"size overflowing 64 bits", "10000000000000000\r\nx", "", State::failed},
    {"size of sixteen digits", "ffffffffffffffff\r\nx", "", State::failed},
    {"chunk longer than its size", "2\r\nabc\r\n0\r\n\r\n", "ab", State::failed},
    {"CR not followed by LF", "2\rab\r\n", "", State::failed},
    {"blank inside the digits", "1 2\r\nab", "", State::failed},
    {"endless extension", "1;" + std::string(ChunkedDecoder::kMaxSizeLine, 'x') + "\r\nx\r\n0\r\n\r\n", "",
     State::failed},
    {"endless trailers", "0\r\n" + std::string(ChunkedDecoder::kMaxTrailers / 8, 'X') + "\r\n" +
                             std::string(ChunkedDecoder::kMaxTrailers, 'Y') + "\r\n\r\n",
     "", State::failed},
};

TEST(ChunkedDecoder, decodes_whole_split_anywhere_and_byte_by_byte) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Result whole = DecodeAll(c.input);
    EXPECT_EQ(whole.body, c.body);
    EXPECT_EQ(whole.state, c.state);
    const Result bytes = DecodeAll(c.input, {}, 1);
    EXPECT_EQ(bytes.body, c.body);
    EXPECT_EQ(bytes.state, c.state);
    for (std::size_t cut = 1; cut < c.input.size() && cut < 64; ++cut) {
      const Result split = DecodeAll(c.input, {cut});
      ASSERT_EQ(split.body, c.body) << "cut at " << cut;
      ASSERT_EQ(split.state, c.state) << "cut at " << cut;
    }
  }
}

TEST(ChunkedDecoder, bytes_after_the_end_stay_unread) {
  const std::string next = "HTTP/1.1 200 OK\r\n";
  for (const std::size_t step : {std::size_t{0}, std::size_t{1}}) {
    const Result result = DecodeAll("3\r\nabc\r\n0\r\n\r\n" + next, {}, step);
    EXPECT_EQ(result.body, "abc");
    EXPECT_EQ(result.state, State::done);
    EXPECT_EQ(result.unread, next.size());
  }
}

}  // namespace
