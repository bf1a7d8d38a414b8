// Next runs of schedule patterns, computed in local time in several zones and
// across the daylight-saving changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "engine/schedule/schedule.h"
#include "support/scoped_time_zone.h"

namespace {

// Seconds for a local date and time.
std::int64_t At(int year, int month, int day, int hour, int minute, int second = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

CScheduleEntry Entry(int kind, int minute, int days, int dayOfMonth, int period, int start, int end) {
  ScheduleSettings s{static_cast<std::uint8_t>(kind), static_cast<std::uint8_t>(minute),
                     static_cast<std::uint8_t>(days), static_cast<std::uint8_t>(dayOfMonth)};
  s[4] = period & 0xFF, s[5] = (period >> 8) & 0xFF, s[6] = start & 0xFF, s[7] = start >> 8, s[8] = end & 0xFF,
  s[9] = end >> 8;
  return CScheduleEntry("x", s);
}

struct LocalTime {
  int year, month, day, hour, minute, second;
  std::int64_t Seconds() const { return At(year, month, day, hour, minute, second); }
};

constexpr int kWeekdays = 62;
constexpr const char* kZones[] = {"UTC", "Europe/Berlin", "America/New_York", "Australia/Sydney", "Asia/Kolkata"};

// 2026-12-09 is a Wednesday. No zone changes its clock between these dates.
TEST(NextRun, every_kind_from_its_edge_times_in_several_zones) {
  struct Case {
    const char* what;
    CScheduleEntry entry;
    LocalTime from;
    LocalTime expected;  // year 0: no next run
  } cases[] = {
      {"hourly, at the minute: next hour, seconds kept", Entry(0, 15, 127, 10, 0, 0, 0), {2026, 12, 9, 10, 15, 40},
       {2026, 12, 9, 11, 15, 40}},
      {"hourly, before the minute", Entry(0, 15, 127, 10, 0, 0, 0), {2026, 12, 9, 10, 5, 0},
       {2026, 12, 9, 10, 15, 0}},
      {"hourly, after the minute", Entry(0, 15, 127, 10, 0, 0, 0), {2026, 12, 9, 10, 59, 59},
       {2026, 12, 9, 11, 15, 59}},
      {"hourly, today excluded: midnight of Friday", Entry(0, 15, 1 << 5, 10, 0, 0, 0), {2026, 12, 9, 10, 0, 0},
       {2026, 12, 11, 0, 0, 0}},
      {"hourly, run falls on an excluded day", Entry(0, 15, 1 << 3, 10, 0, 0, 0), {2026, 12, 9, 23, 20, 0},
       {2026, 12, 16, 0, 0, 0}},
      {"periodic, end inclusive", Entry(1, 0, kWeekdays, 10, 25, 600, 960), {2026, 12, 9, 15, 35, 0},
       {2026, 12, 9, 16, 0, 0}},
      {"periodic, past the end", Entry(1, 0, kWeekdays, 10, 25, 600, 960), {2026, 12, 9, 15, 50, 0},
       {2026, 12, 10, 10, 0, 0}},
      {"periodic, start inclusive", Entry(1, 0, kWeekdays, 10, 25, 600, 960), {2026, 12, 9, 9, 35, 0},
       {2026, 12, 9, 10, 0, 0}},
      {"periodic, before the window: next allowed day", Entry(1, 0, kWeekdays, 10, 25, 600, 960),
       {2026, 12, 9, 8, 0, 0}, {2026, 12, 10, 10, 0, 0}},
      {"periodic, Friday evening: Monday", Entry(1, 0, kWeekdays, 10, 25, 600, 960), {2026, 12, 11, 15, 50, 0},
       {2026, 12, 14, 10, 0, 0}},
      {"periodic, no period still moves forward", Entry(1, 0, 127, 10, 0, 0, 1439), {2026, 12, 9, 12, 0, 0},
       {2026, 12, 9, 12, 1, 0}},
      {"daily, at the run time", Entry(2, 15, kWeekdays, 10, 25, 495, 0), {2026, 12, 9, 8, 15, 0},
       {2026, 12, 9, 8, 15, 0}},
      {"daily, a second late", Entry(2, 15, kWeekdays, 10, 25, 495, 0), {2026, 12, 9, 8, 15, 1},
       {2026, 12, 10, 8, 15, 0}},
      {"daily, Friday to Monday", Entry(2, 15, kWeekdays, 10, 25, 495, 0), {2026, 12, 11, 9, 0, 0},
       {2026, 12, 14, 8, 15, 0}},
      {"daily, Saturday morning to Monday", Entry(2, 15, kWeekdays, 10, 25, 495, 0), {2026, 12, 12, 7, 0, 0},
       {2026, 12, 14, 8, 15, 0}},
      {"weekly, a minute late", Entry(2, 15, 1 << 3, 10, 25, 737, 0), {2026, 12, 9, 12, 18, 0},
       {2026, 12, 16, 12, 17, 0}},
      {"monthly, day 31 after January's: into March", Entry(3, 15, 255, 31, 25, 0, 0), {2027, 1, 31, 12, 0, 0},
       {2027, 3, 3, 0, 0, 0}},
      {"monthly, at the run time", Entry(3, 15, 255, 31, 25, 0, 0), {2027, 1, 31, 0, 0, 0}, {2027, 1, 31, 0, 0, 0}},
      {"monthly, December after the day: January", Entry(3, 15, 255, 10, 25, 0, 0), {2026, 12, 20, 0, 0, 0},
       {2027, 1, 10, 0, 0, 0}},
      {"monthly, earlier that day", Entry(3, 15, 0, 10, 25, 480, 0), {2026, 12, 10, 7, 0, 0},
       {2026, 12, 10, 8, 0, 0}},
      {"unknown kind", Entry(9, 0, 0, 0, 0, 0, 0), {2026, 12, 9, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
  };
  for (const char* zone : kZones) {
    ScopedTimeZone tz(zone);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(zone) + ": " + c.what);
      const std::int64_t expected = c.expected.year ? c.expected.Seconds() : 0;
      EXPECT_EQ(c.entry.NextRun(c.from.Seconds()), expected);
    }
  }
}

TEST(NextRun, days_until_the_next_allowed_day) {
  ScopedTimeZone tz("America/New_York");
  const std::int64_t wednesday = At(2026, 12, 9, 23, 59);
  const struct {
    int days;
    int expected;
  } cases[] = {{0, 1}, {0x80, 1}, {1 << 3, 7}, {1 << 4, 1}, {1 << 0, 4}, {(1 << 0) | (1 << 3), 4}, {127, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.days);
    EXPECT_EQ(Entry(2, 0, c.days, 1, 0, 60, 0).DaysUntilNextAllowedDay(wednesday), c.expected);
  }
}

// A daily schedule run three days in a row across a clock change, the next
// run always computed from a minute after the last one.
TEST(NextRun, daily_runs_once_a_day_at_its_local_time_across_clock_changes) {
  struct Case {
    const char* zone;
    int year, month, day;  // the day of the change
    int start;
    int hour, minute;  // the run on that day
    int isdst;
  } cases[] = {
      {"Europe/Berlin", 2027, 3, 28, 8 * 60 + 15, 8, 15, 1},
      {"Europe/Berlin", 2027, 3, 28, 2 * 60 + 30, 3, 30, 1},  // skipped: just after the jump
      {"Europe/Berlin", 2026, 10, 25, 8 * 60 + 15, 8, 15, 0},
      {"Europe/Berlin", 2026, 10, 25, 2 * 60 + 30, 2, 30, 1},  // twice on the clock: the first
      {"America/New_York", 2027, 3, 14, 2 * 60 + 30, 3, 30, 1},
      {"America/New_York", 2026, 11, 1, 1 * 60 + 30, 1, 30, 1},
      {"America/New_York", 2026, 11, 1, 0, 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.month) + "/" + std::to_string(c.day) + " at " +
                 std::to_string(c.start));
    ScopedTimeZone tz(c.zone);
    const CScheduleEntry daily = Entry(2, 0, 127, 1, 0, c.start, 0);
    std::int64_t t = At(c.year, c.month, c.day - 1, 0, 0);
    for (int i = 0; i < 3; ++i) {
      const std::int64_t run = daily.NextRun(t);
      ASSERT_GE(run, t);
      const std::time_t tt = static_cast<std::time_t>(run);
      std::tm local{};
      localtime_r(&tt, &local);
      const std::time_t noon = static_cast<std::time_t>(At(c.year, c.month, c.day - 1 + i, 12, 0));
      std::tm day{};
      localtime_r(&noon, &day);
      EXPECT_EQ(local.tm_mday, day.tm_mday) << "run " << i;
      if (i == 1) {
        EXPECT_EQ(local.tm_hour, c.hour);
        EXPECT_EQ(local.tm_min, c.minute);
        EXPECT_EQ(local.tm_isdst, c.isdst);
      } else {
        EXPECT_EQ(local.tm_hour * 60 + local.tm_min, c.start) << "run " << i;
      }
      t = run + 60;
    }
  }
}

TEST(NextRun, hourly_keeps_its_minute_across_clock_changes) {
  ScopedTimeZone tz("Europe/Berlin");
  const CScheduleEntry hourly = Entry(0, 15, 127, 10, 0, 0, 0);
  for (const std::int64_t from : {At(2027, 3, 28, 0, 30), At(2026, 10, 25, 0, 30)}) {
    std::int64_t t = from;
    for (int i = 0; i < 5; ++i) {
      const std::int64_t run = hourly.NextRun(t);
      EXPECT_EQ(run - t, i == 0 ? 45 * 60 : 3600);  // one real hour apart, never skipped or doubled
      const std::time_t tt = static_cast<std::time_t>(run);
      std::tm local{};
      localtime_r(&tt, &local);
      EXPECT_EQ(local.tm_min, 15);
      t = run;
    }
  }
}

}  // namespace
