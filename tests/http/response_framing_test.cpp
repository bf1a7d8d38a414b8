// How a header block frames its body: length, chunks, codings, and whether
// the connection can carry the next answer.
#include <gtest/gtest.h>

#include <string>

#include "engine/http/response_framing.h"

namespace {

TEST(ResponseFraming, header_fields_give_the_body_framing) {
  const struct Case {
    const char* header;
    bool noBody, hasLength;
    std::uint64_t length;
    bool chunked, gzip, keepAlive;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n", false, true, 12, false, false, true},
      {"HTTP/1.1 200 OK\r\ncontent-length:  12 \r\nConnection: Keep-Alive, Close\r\n\r\n", false, true, 12, false,
       false, false},
      {"HTTP/1.0 200 OK\r\nContent-Length: 12\r\nConnection: keep-alive\r\n\r\n", false, true, 12, false, false, false},
      {"HTTP/1.1 200 OK\r\n\r\n", false, false, 0, false, false, false},  // ends at the close
      {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", false, false, 0, false, false, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, false, 0, false, false, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", false, false, 0, false, false, false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n", false, false, 0, true, false, true},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n", false, false, 0, true, false,
       false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", false, false, 0, true, true, true},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", false, false, 0, false, false, false},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n", false, false, 0, true, true,
       true},
      {"HTTP/1.0 200 OK\nContent-Encoding: x-gzip\nContent-Length: 7\n\n", false, true, 7, false, true, false},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: identity, gzip\r\nContent-Length: 7\r\n\r\n", false, true, 7, false, true,
       true},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: gzip, br\r\nContent-Length: 7\r\n\r\n", false, true, 7, false, false,
       true},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: 7\r\n\r\n", false, true, 7, false, false,
       true},
      {"HTTP/1.1 304 Not Modified\r\nContent-Length: 20\r\n\r\n", true, false, 0, false, false, true},
      {"HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n", true, false, 0, false, false, false},
      {"HTTP/2 200 OK\r\nContent-Length: 1\r\n\r\n", false, true, 1, false, false, false},
  };
  for (const Case& c : cases) {
    const BodyFraming body = ReadBodyFraming(c.header);
    EXPECT_EQ(body.noBody, c.noBody) << c.header;
    EXPECT_EQ(body.hasLength, c.hasLength) << c.header;
    EXPECT_EQ(body.length, c.length) << c.header;
    EXPECT_EQ(body.chunked, c.chunked) << c.header;
    EXPECT_EQ(body.gzip, c.gzip) << c.header;
    EXPECT_EQ(body.keepAlive, c.keepAlive) << c.header;
  }
}

}  // namespace
