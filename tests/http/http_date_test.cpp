// HTTP dates read in every zone as the same UTC time, and written in English.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scoped_time_zone.h"

#include "engine/http/http_date.h"

namespace {

// Zones with and without daylight-saving time, on both hemispheres and with
// a half-hour offset; offset is minus the standard offset from UTC. The rule
// strings need no zone database; the named zones are used where installed.
struct Zone {
  std::string tz;
  std::int32_t offset;
};
std::vector<Zone> Zones() {
  const struct {
    const char *name, *rules;
    std::int32_t offset;
  } zones[] = {
      {"UTC", "UTC0", 0},
      {"America/New_York", "EST5EDT,M3.2.0,M11.1.0", 5 * 3600},
      {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3", -3600},
      {"Australia/Sydney", "AEST-10AEDT,M10.1.0,M4.1.0/3", -10 * 3600},
      {"Asia/Kolkata", "IST-5:30", -(5 * 3600 + 1800)},
  };
  std::vector<Zone> result;
  for (const auto& z : zones) {
    result.push_back({z.rules, z.offset});
    if (std::filesystem::exists(std::string("/usr/share/zoneinfo/") + z.name)) result.push_back({z.name, z.offset});
  }
  return result;
}

class HttpDate : public ::testing::Test {
 protected:
  static void UseZone(const std::string& tz) { ScopedTimeZone::Use(tz); }

 private:
  ScopedTimeZone m_zone;
};

TEST_F(HttpDate, all_three_forms_give_the_same_utc_time_in_every_zone) {
  // July is summer time in New York and Berlin, January in Sydney.
  const std::pair<const char*, std::int32_t> cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},     {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
      {"Sun Nov  6 08:49:37 1994", 784111777},          {"Wed, 06 Jul 1994 08:49:37 GMT", 773484577},
      {"Wednesday, 06-Jul-94 08:49:37 GMT", 773484577}, {"Wed Jul  6 08:49:37 1994", 773484577},
      {"Thu, 06 Jan 2000 08:49:37 GMT", 947148577},     {"Thu Jan  6 08:49:37 2000", 947148577},
      {"Sat, 15 Jun 2030 12:00:00 GMT", 1907755200},    {"Thu, 31 Dec 2037 23:59:59 GMT", 2145916799},
      {"Friday, 31-Dec-99 23:59:59 GMT", 946684799},    {"Fri, 31 Dec 99 23:59:59 GMT", 0},
      {"sun, 06 nov 1994 08:49:37 GMT", 784111777},     {"Sun, 06 NOV 1994 08:49:37 GMT", 784111777},
      {"Sun, 06 Nov 1994 08:49:37 GMT; length=1234", 784111777},
  };
  for (const auto& zone : Zones()) {
    UseZone(zone.tz);
    for (const auto& [text, utc] : cases) EXPECT_EQ(ParseHttpDateUtc(text), utc) << text << " in " << zone.tz;
  }
}

TEST_F(HttpDate, local_reading_is_shifted_by_the_standard_offset) {
  for (const auto& zone : Zones()) {
    UseZone(zone.tz);
    EXPECT_EQ(LocalClockOffset(), zone.offset) << zone.tz;
    // Standard time even in July, when New York and Berlin keep summer time.
    EXPECT_EQ(ParseHttpDate("Wed, 06 Jul 1994 08:49:37 GMT"), 773484577 + zone.offset) << zone.tz;
  }
}

TEST_F(HttpDate, malformed_or_out_of_range_dates_are_unknown) {
  const char* cases[] = {
      "Sunday, 06-Nov-69 08:49:37 GMT", "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 08:60:00 GMT",
      "Sun, 06 Nov 1994 08:00:60 GMT",  "Sun, 32 Nov 1994 08:00:00 GMT", "Sun, 00 Nov 1994 08:00:00 GMT",
      "Sun, 06 Nov 1969 08:00:00 GMT",  "Sun Nov  6 08:49:37 1969",      "Sun, 06 Xyz 1994 08:00:00 GMT",
      "Sun, 06 No 1994 08:00:00 GMT",   "Sun, 06 Nov 1994 08:49 GMT",    "Sun Nov  6 08:49:37",
      "Sun, 06 Nov 2050 08:00:00 GMT",  // past the 32-bit range
      "yesterday", "", nullptr,
  };
  for (const char* tz : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
    UseZone(tz);
    for (const char* text : cases) {
      EXPECT_EQ(ParseHttpDate(text), 0) << (text ? text : "null") << " in " << tz;
      EXPECT_EQ(ParseHttpDateUtc(text), 0) << (text ? text : "null") << " in " << tz;
    }
  }
}

TEST_F(HttpDate, formatting_names_days_and_months_in_english_utc) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {784111777, "Sun, 06 Nov 1994 08:49:37 GMT"},
      {0, "Thu, 01 Jan 1970 00:00:00 GMT"},
      {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},
      {2147483648LL, "Tue, 19 Jan 2038 03:14:08 GMT"},  // past the signed 32-bit range
      {4294967295LL, "Sun, 07 Feb 2106 06:28:15 GMT"},
  };
  for (const char* tz : {"UTC0", "AEST-10AEDT,M10.1.0,M4.1.0/3"}) {
    UseZone(tz);
    for (const auto& [time, expected] : cases) EXPECT_EQ(FormatHttpDate(time), expected) << time << " in " << tz;
  }
}

TEST_F(HttpDate, formatting_ignores_the_users_locale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* chosen = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "es_ES.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, name)) {
      chosen = name;
      break;
    }
  }
  if (!chosen) GTEST_SKIP() << "no non-English locale installed";
  const std::string text = FormatHttpDate(784111777);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, "Sun, 06 Nov 1994 08:49:37 GMT") << chosen;
}

TEST_F(HttpDate, formatted_dates_read_back_to_the_same_time) {
  const std::int32_t times[] = {1, 784111777, 773484577, 951782400, 1711846800, 1907755200, 2145916799};
  for (const auto& zone : Zones()) {
    UseZone(zone.tz);
    for (const std::int32_t t : times) {
      const std::string text = FormatHttpDate(t);
      EXPECT_EQ(ParseHttpDateUtc(text.c_str()), t) << text << " in " << zone.tz;
    }
  }
}

}  // namespace
