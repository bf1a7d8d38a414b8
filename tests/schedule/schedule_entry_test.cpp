// Next runs of schedule patterns, computed in local time.
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

class NextRun : public ::testing::Test {
 protected:
  static CScheduleEntry Entry(std::uint8_t kind, std::uint8_t minute, std::uint8_t days, std::uint8_t dayOfMonth,
                              int period, int start, int end) {
    ScheduleSettings s{kind, minute, days, dayOfMonth};
    s[4] = period & 0xFF, s[5] = period >> 8, s[6] = start & 0xFF, s[7] = start >> 8, s[8] = end & 0xFF,
    s[9] = end >> 8;
    return CScheduleEntry("x", s);
  }
  ScopedTimeZone m_zone{"Europe/Berlin"};
};

// 2026-12-09 is a Wednesday.
TEST_F(NextRun, hourly_at_the_current_minute_moves_to_the_next_hour_keeping_seconds) {
  const auto e = Entry(0, 15, 0x7F, 10, 0, 0, 0);
  EXPECT_EQ(e.NextRun(At(2026, 12, 9, 10, 15, 40)), At(2026, 12, 9, 11, 15, 40));
  EXPECT_EQ(e.NextRun(At(2026, 12, 9, 10, 5, 0)), At(2026, 12, 9, 10, 15, 0));
  // Today excluded: midnight of the next allowed day (Friday).
  EXPECT_EQ(Entry(0, 15, 1 << 5, 10, 0, 0, 0).NextRun(At(2026, 12, 9, 10, 0)), At(2026, 12, 11, 0, 0));
}

TEST_F(NextRun, periodic_window_ends_inclusive) {
  const auto e = Entry(1, 0, 62, 10, 25, 600, 960);
  EXPECT_EQ(e.NextRun(At(2026, 12, 9, 15, 35)), At(2026, 12, 9, 16, 0));
  EXPECT_EQ(e.NextRun(At(2026, 12, 9, 15, 50)), At(2026, 12, 10, 10, 0));
}

TEST_F(NextRun, daily_and_monthly) {
  const auto daily = Entry(2, 15, 62, 10, 25, 495, 0);
  EXPECT_EQ(daily.NextRun(At(2026, 12, 9, 8, 15)), At(2026, 12, 9, 8, 15));
  EXPECT_EQ(daily.NextRun(At(2026, 12, 11, 9, 0)), At(2026, 12, 14, 8, 15));  // Friday -> Monday
  const auto monthly = Entry(3, 15, 255, 31, 25, 0, 0);
  EXPECT_EQ(monthly.NextRun(At(2027, 1, 31, 12, 0)), At(2027, 3, 3, 0, 0));  // "February 31st"
  EXPECT_EQ(Entry(3, 15, 255, 10, 25, 0, 0).NextRun(At(2026, 12, 20, 0, 0)), At(2027, 1, 10, 0, 0));
  EXPECT_EQ(Entry(9, 0, 0, 0, 0, 0, 0).NextRun(At(2026, 12, 9, 0, 0)), 0u);
}

TEST_F(NextRun, empty_day_mask_counts_one_day) {
  EXPECT_EQ(Entry(2, 0, 0, 1, 0, 60, 0).DaysUntilNextAllowedDay(At(2026, 12, 9, 0, 0)), 1);
  EXPECT_EQ(Entry(2, 0, 1 << 3, 1, 0, 60, 0).DaysUntilNextAllowedDay(At(2026, 12, 9, 0, 0)), 7);
}

TEST(ScheduleList, defaults_and_packed_form_round_trip) {
  CSchedule list;
  ASSERT_EQ(list.GetSize(), 5);
  EXPECT_EQ(list.GetNameAt(0), "Hourly");
  EXPECT_EQ(list.GetNameAt(4), "Monthly");
  const ScheduleSettings packed = list.EntryAt(1)->Pack();
  EXPECT_EQ(packed, (ScheduleSettings{1, 0, 62, 10, 25, 0, 0x58, 0x02, 0xC0, 0x03}));
  EXPECT_EQ(CScheduleEntry("y", packed).Pack(), packed);
  EXPECT_EQ(list.Find("weekly"), -1);
  EXPECT_EQ(list.Find("Weekly"), 3);
}

}  // namespace
