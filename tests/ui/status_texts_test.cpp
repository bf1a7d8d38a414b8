#include "shell/status_texts.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusTexts, known_codes_have_their_text_and_others_read_not_available) {
  const struct {
    int code;
    const char* text;
  } cases[] = {{200, "OK"}, {304, "Not Modified"}, {401, "Unauthorzied"}, {404, "Not Found"},
               {411, "Authorization Refused"}, {504, "Gateway Timeout"}, {999, "N/A"}, {0, "N/A"}, {-1, "N/A"},
               {205, "N/A"}};
  for (const auto& c : cases) EXPECT_EQ(hvui::StatusText(c.code).toStdString(), c.text) << c.code;
}

}  // namespace
