#include "platform/cookies/cookie_date.h"

#include <array>
#include <cstddef>

namespace hv::cookies {

namespace {

bool IsDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
         (c >= 0x7B && c <= 0x7E);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1 to `most` digits (at least `least`) at pos; what follows the
// digits must not be a digit.
bool ReadNumber(std::string_view token, std::size_t& pos, std::size_t least, std::size_t most, int& value) {
  std::size_t count = 0;
  value = 0;
  while (pos < token.size() && IsDigit(token[pos]) && count < most) {
    value = value * 10 + (token[pos++] - '0');
    ++count;
  }
  return count >= least && (pos == token.size() || !IsDigit(token[pos]));
}

// hh:mm:ss with one or two digits each, anything after.
bool ReadTime(std::string_view token, int& hour, int& minute, int& second) {
  std::size_t pos = 0;
  if (!ReadNumber(token, pos, 1, 2, hour) || pos >= token.size() || token[pos++] != ':') return false;
  if (!ReadNumber(token, pos, 1, 2, minute) || pos >= token.size() || token[pos++] != ':') return false;
  return ReadNumber(token, pos, 1, 2, second);
}

int MonthOf(std::string_view token) {
  static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return 0;
  char head[3];
  for (int i = 0; i < 3; ++i) head[i] = static_cast<char>(token[i] | 0x20);
  for (std::size_t m = 0; m < kMonths.size(); ++m)
    if (std::string_view(head, 3) == kMonths[m]) return static_cast<int>(m) + 1;
  return 0;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<std::int64_t> ParseCookieDate(std::string_view text) {
  bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    const std::string_view token = text.substr(start, pos - start);
    if (token.empty()) break;
    std::size_t at = 0;
    int number = 0;
    if (!haveTime && ReadTime(token, hour, minute, second)) {
      haveTime = true;
    } else if (!haveDay && ReadNumber(token, at, 1, 2, number)) {
      haveDay = true;
      day = number;
    } else if (!haveMonth && MonthOf(token) != 0) {
      haveMonth = true;
      month = MonthOf(token);
    } else if (at = 0; !haveYear && ReadNumber(token, at, 2, 4, number)) {
      haveYear = true;
      year = number;
    }
  }
  if (haveYear && year >= 70 && year <= 99) year += 1900;
  if (haveYear && year >= 0 && year <= 69) year += 2000;
  if (!haveTime || !haveDay || !haveMonth || !haveYear) return std::nullopt;
  if (year < 1601 || hour > 23 || minute > 59 || second > 59 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

}  // namespace hv::cookies
