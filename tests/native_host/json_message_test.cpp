#include "json_message.h"

#include <gtest/gtest.h>

namespace hvhost {
namespace {

TEST(JsonMessage, reads_flat_objects_and_refuses_everything_else) {
  struct Case {
    std::string text;
    std::optional<JsonMessage> expected;
  };
  const Case cases[] = {
      {R"({"type":"page","url":"http://a/?q=1","title":"T"})",
       JsonMessage{{"type", "page"}, {"url", "http://a/?q=1"}, {"title", "T"}}},
      {" \r\n{ } \t", JsonMessage{}},
      {R"({"a":"\"\\\/\b\f\n\r\t"})", JsonMessage{{"a", "\"\\/\b\f\n\r\t"}}},
      {R"({"a":"\u00e9\u20ac\ud83d\ude00\u0000x"})",
       JsonMessage{{"a", std::string("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\0x", 11)}}},
      {R"({"n":-12.5e+3,"z":0,"t":true,"f":false,"u":null})",
       JsonMessage{{"n", "-12.5e+3"}, {"z", "0"}, {"t", "true"}, {"f", "false"}, {"u", "null"}}},
      {R"({"a":"1","a":"2"})", JsonMessage{{"a", "2"}}},
      {"", std::nullopt},
      {"[]", std::nullopt},
      {R"("text")", std::nullopt},
      {R"({"a":{"b":"c"}})", std::nullopt},
      {R"({"a":["b"]})", std::nullopt},
      {R"({"a":"b"} x)", std::nullopt},
      {R"({"a":"b",})", std::nullopt},
      {R"({"a" "b"})", std::nullopt},
      {R"({a:"b"})", std::nullopt},
      {R"({"a":"b)", std::nullopt},
      {std::string("{\"a\":\"b\"}\0", 10), std::nullopt},
      {"{\"a\":\"line\nbreak\"}", std::nullopt},
      {R"({"a":"\x"})", std::nullopt},
      {R"({"a":"\u12"})", std::nullopt},
      {R"({"a":"\ud83d"})", std::nullopt},
      {R"({"a":"\ud83dx\ude00"})", std::nullopt},
      {R"({"a":"\ude00"})", std::nullopt},
      {R"({"a":"\)", std::nullopt},
      {R"({"n":01})", std::nullopt},
      {R"({"n":1.})", std::nullopt},
      {R"({"n":1e})", std::nullopt},
      {R"({"n":-})", std::nullopt},
      {R"({"t":tru})", std::nullopt},
      {"{", std::nullopt},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto parsed = ParseJsonMessage(c.text, error);
    EXPECT_EQ(parsed, c.expected) << c.text;
    EXPECT_EQ(error.empty(), c.expected.has_value()) << c.text;
  }
}

TEST(JsonMessage, writes_valid_json_from_any_bytes) {
  struct Case {
    std::string value, json;
    bool sameBack = true;  // read back as the bytes written
  };
  const Case cases[] = {
      {"plain", R"({"v":"plain"})"},
      {"q\"b\\s/", R"({"v":"q\"b\\s/"})"},
      {std::string("\0\x1f\n", 3), R"({"v":"\u0000\u001f\u000a"})"},
      {"\xc3\xa9\xf0\x9f\x98\x80", "{\"v\":\"\xc3\xa9\xf0\x9f\x98\x80\"}"},
      {"caf\xe9", "{\"v\":\"caf\xc3\xa9\"}", false},                  // Latin-1
      {"\xc3", "{\"v\":\"\xc3\x83\"}", false},                        // cut sequence
      {"\xc0\xaf", "{\"v\":\"\xc3\x80\xc2\xaf\"}", false},            // overlong
      {"\xed\xa0\x80", "{\"v\":\"\xc3\xad\xc2\xa0\xc2\x80\"}", false},  // surrogate
  };
  for (const Case& c : cases) {
    const std::string json = WriteJsonMessage({{"v", c.value}});
    EXPECT_EQ(json, c.json);
    std::string error;
    const auto back = ParseJsonMessage(json, error);
    ASSERT_TRUE(back) << error;
    if (c.sameBack) {
      EXPECT_EQ(Member(*back, "v"), c.value);
    }
  }
  EXPECT_EQ(WriteJsonMessage({{"a", "1"}, {"b", ""}}), R"({"a":"1","b":""})");
}

}  // namespace
}  // namespace hvhost
