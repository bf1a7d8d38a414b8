// Streams a profile file line by line; only the current line is held.
#include "platform/files/ini_reader.h"

#include <cstdio>
#include <memory>
#include <string_view>

namespace hv {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads one line without its LF into `line`. False at the end of the file.
// A line longer than the limit is reported as overlong and its bytes beyond
// the limit are dropped as they are read.
bool ReadLine(std::FILE* file, std::string& line, bool& overlong) {
  line.clear();
  overlong = false;
  bool any = false;
  int c;
  while ((c = getc_unlocked(file)) != EOF) {
    any = true;
    if (c == '\n') return true;
    if (line.size() < kMaxProfileLine)
      line.push_back(static_cast<char>(c));
    else
      overlong = true;
  }
  return any;
}

std::string_view Trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return defaultValue;

  std::string line;
  bool overlong = false;
  bool firstLine = true;
  bool inSection = false;
  while (ReadLine(file.get(), line, overlong)) {
    std::string_view text = line;
    if (firstLine && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    firstLine = false;
    if (overlong) continue;
    text = Trim(text);
    if (text.empty() || text.front() == ';') continue;
    if (text.front() == '[') {
      const auto close = text.find(']');
      if (close != std::string_view::npos) inSection = EqualNoCase(Trim(text.substr(1, close - 1)), section);
      continue;
    }
    if (!inSection) continue;
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualNoCase(Trim(text.substr(0, equals)), key))
      return std::string(Unquote(Trim(text.substr(equals + 1))));
  }
  return defaultValue;
}

}  // namespace hv
