// Base64 as Basic credentials use it.
#include <gtest/gtest.h>

#include "engine/http/base64.h"

namespace {

TEST(Base64, encodes_rfc4648_vectors_and_high_bytes_without_line_breaks) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}, {":", "Og=="}, {std::string(1, '\0'), "AA=="},
      {"\xFF\xFE\xFD", "//79"}, {"\xFB\xEF\xBE", "++++"},  // high bytes are not sign-extended
  };
  for (const auto& [bytes, encoded] : cases) EXPECT_EQ(hv::http::Base64Encode(bytes), encoded) << encoded;
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += "eHh4";
  EXPECT_EQ(hv::http::Base64Encode(std::string(300, 'x')), expected);
}

}  // namespace
