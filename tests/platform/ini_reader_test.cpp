#include "platform/files/ini_reader.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/temp_folder.h"

namespace {

std::string ValueIn(const hv::test::TempFolder& dir, const std::string& content) {
  const std::string path = dir / "shortcut.url";
  hv::test::WriteText(path, content);
  return hv::GetPrivateProfileString("InternetShortcut", "URL", "<none>", path);
}

TEST(IniReader, finds_values_across_line_endings_case_and_blanks) {
  hv::test::TempFolder dir;
  struct Case {
    const char* name;
    std::string content;
    const char* value;
  } cases[] = {
      {"crlf", "[InternetShortcut]\r\nURL=http://a/\r\n", "http://a/"},
      {"no final newline", "[InternetShortcut]\nURL=http://a/", "http://a/"},
      {"case", "[internetshortcut]\nurl=http://a/\n", "http://a/"},
      {"blanks", "  [ InternetShortcut ]\n\t URL \t=  http://a/ b  \r\n", "http://a/ b"},
      {"quotes", "[InternetShortcut]\nURL=\"http://a/\"\n", "http://a/"},
      {"equals in value", "[InternetShortcut]\nURL=http://a/?x=1\n", "http://a/?x=1"},
      {"comment", "[InternetShortcut]\n; URL=http://c/\nURL=http://a/\n", "http://a/"},
      {"first wins", "[InternetShortcut]\nURL=http://a/\nURL=http://b/\n", "http://a/"},
      {"bom", "\xEF\xBB\xBF[InternetShortcut]\nURL=http://a/\n", "http://a/"},
      {"prefix key", "[InternetShortcut]\nURLX=http://x/\nURL=http://a/\n", "http://a/"},
      {"no section", "URL=http://a/\n", "<none>"},
      {"similar section", "[InternetShortcutX]\nURL=http://a/\n", "<none>"},
      {"key in later section", "[InternetShortcut]\n[Other]\nURL=http://o/\n", "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(ValueIn(dir, c.content), c.value) << c.name;
}

TEST(IniReader, missing_file_or_folder_gives_the_default) {
  hv::test::TempFolder dir;
  EXPECT_EQ(hv::GetPrivateProfileString("S", "K", "dflt", dir / "missing.url"), "dflt");
  EXPECT_EQ(hv::GetPrivateProfileString("S", "K", "dflt", dir.path()), "dflt");
}

TEST(IniReader, overlong_line_is_skipped_and_reading_goes_on) {
  hv::test::TempFolder dir;
  const std::string content = "[InternetShortcut]\nURL=" + std::string(hv::kMaxProfileLine, 'x') +
                              "\nURL=http://after/\n";
  EXPECT_EQ(ValueIn(dir, content), "http://after/");
}

}  // namespace
