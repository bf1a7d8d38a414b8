// Base64 as Basic credentials use it.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/http/base64.h"

namespace {

TEST(Base64, encodes_rfc4648_vectors_and_every_byte_value) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
      {":", "Og=="},
      {"user:", "dXNlcjo="},
      {std::string("\0", 1), "AA=="},
      {"\xFF\xFE\xFD", "//79"},  // high bytes are not sign-extended
      {"\xFB\xEF\xBE", "++++"},
      {"a\r\nb", "YQ0KYg=="},  // line breaks are data, none are added
  };
  for (const auto& [bytes, encoded] : cases) EXPECT_EQ(hv::http::Base64Encode(bytes), encoded) << encoded;
  // No line breaks however long the input.
  const std::string longer = hv::http::Base64Encode(std::string(300, 'x'));
  EXPECT_EQ(longer.size(), 400u);
  EXPECT_EQ(longer.find_first_of("\r\n"), std::string::npos);
}

}  // namespace
