#include "engine/http/http_date.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string>

#include "resources/resources.h"

namespace {

// English names: HTTP dates are not localised.
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// 0-11 for a three-letter month name in any case, -1 otherwise.
int MonthIndex(const char* name) {
  for (int m = 0; m < 12; ++m) {
    const char* month = kMonths[m];
    bool same = true;
    for (int i = 0; i < 3 && same; ++i) same = AsciiLower(name[i]) == AsciiLower(month[i]);
    if (same) return m;
  }
  return -1;
}

struct DateFields {
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  char month[4] = {};  // filled by a "%3s" conversion
};

// The fields as local standard time. tmYear is the year as struct tm counts
// it; RFC 850 years are two digits, which struct tm takes as 19xx.
std::int32_t ToLocalStandardTime(const DateFields& f, int minimumYear, int tmYear) {
  const int month = MonthIndex(f.month);
  if (month < 0) return 0;
  if (f.second < 0 || f.second > 59) return 0;
  if (f.minute < 0 || f.minute > 59) return 0;
  if (f.hour < 0 || f.hour > 23) return 0;
  if (f.day < 1 || f.day > 31) return 0;
  if (f.year < minimumYear) return 0;
  std::tm tm{};
  tm.tm_sec = f.second;
  tm.tm_min = f.minute;
  tm.tm_hour = f.hour;
  tm.tm_mday = f.day;
  tm.tm_mon = month;
  tm.tm_year = tmYear;
  tm.tm_isdst = 0;  // standard time, matching LocalClockOffset
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return 0;
  if (t < std::numeric_limits<std::int32_t>::min() || t > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<std::int32_t>(t);
}

std::int32_t ParseRfc1123(const char* text) {
  DateFields f;
  if (std::sscanf(text, "%*3s, %2d %3s %4d %2d:%2d:%2d", &f.day, f.month, &f.year, &f.hour, &f.minute,
                  &f.second) != 6)
    return 0;
  return ToLocalStandardTime(f, 1970, f.year - 1900);
}

std::int32_t ParseRfc850(const char* text) {
  DateFields f;
  if (std::sscanf(text, "%*s %2d-%3s-%2d %2d:%2d:%2d", &f.day, f.month, &f.year, &f.hour, &f.minute,
                  &f.second) != 6)
    return 0;
  return ToLocalStandardTime(f, 70, f.year);
}

std::int32_t ParseAsctime(const char* text) {
  DateFields f;
  if (std::sscanf(text, "%*s %3s %2d %2d:%2d:%2d %4d", f.month, &f.day, &f.hour, &f.minute, &f.second,
                  &f.year) != 6)
    return 0;
  return ToLocalStandardTime(f, 1970, f.year - 1900);
}

void AppendNumber(std::string& out, long long value, const char* format) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, format, value);
  if (n > 0) out.append(digits, static_cast<std::size_t>(n));
}

}  // namespace

std::int32_t ParseHttpDate(const char* text) {
  if (!text || !*text) return 0;
  if (const std::int32_t t = ParseRfc1123(text)) return t;
  if (const std::int32_t t = ParseRfc850(text)) return t;
  return ParseAsctime(text);
}

std::int32_t LocalClockOffset() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (!gmtime_r(&now, &utc)) return 0;
  utc.tm_isdst = 0;
  const std::time_t asLocal = std::mktime(&utc);
  if (asLocal == static_cast<std::time_t>(-1)) return 0;
  return static_cast<std::int32_t>(asLocal - now);
}

std::int32_t ParseHttpDateUtc(const char* text) {
  const std::int32_t local = ParseHttpDate(text);
  if (local == 0) return 0;
  return static_cast<std::int32_t>(static_cast<std::int64_t>(local) - LocalClockOffset());
}

std::string FormatHttpDate(std::int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm utc{};
  if (!gmtime_r(&t, &utc)) return {};
  // strftime would name days and months in the user's language.
  const std::string format = hv::res::LoadString(hv::res::IDS_HTTP_DATE_FORMAT);
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out += format[i];
      continue;
    }
    switch (format[++i]) {
      case 'a': out += kDays[utc.tm_wday]; break;
      case 'b': out += kMonths[utc.tm_mon]; break;
      case 'd': AppendNumber(out, utc.tm_mday, "%02lld"); break;
      case 'Y': AppendNumber(out, utc.tm_year + 1900LL, "%lld"); break;
      case 'H': AppendNumber(out, utc.tm_hour, "%02lld"); break;
      case 'M': AppendNumber(out, utc.tm_min, "%02lld"); break;
      case 'S': AppendNumber(out, utc.tm_sec, "%02lld"); break;
      case '%': out += '%'; break;
      default:  // not ours: keep it as written
        out += '%';
        out += format[i];
        break;
    }
  }
  return out;
}
