// One named schedule pattern, such as every hour at 15 minutes past.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/settings/named_item.h"

enum class ScheduleKind : std::uint8_t { Hourly = 0, Periodic = 1, Daily = 2, Monthly = 3 };

// The packed form of a pattern, 10 bytes: kind, minute, days, day of month,
// then period, start and end as little-endian 16-bit numbers.
using ScheduleSettings = std::array<std::uint8_t, 10>;

class CScheduleEntry : public CNamedItem {
  DECLARE_SERIAL(CScheduleEntry)
 public:
  CScheduleEntry() = default;
  CScheduleEntry(std::string name, const ScheduleSettings& settings);

  ScheduleSettings Pack() const;
  // The next run at or after t (seconds since 1970), in local time; 0 for an
  // unknown kind.
  std::uint32_t NextRun(std::int64_t t) const;
  // The next run from now.
  std::uint32_t NextRun() const;
  // 1 to 7 days from the weekday of t to the next weekday of the mask; 1
  // when the mask has no day.
  int DaysUntilNextAllowedDay(std::int64_t t) const;
  // One line for lists: "Every hour, 15 minutes after the hour." and so on.
  std::string Describe() const;
  std::unique_ptr<CNamedItem> Clone(const std::string& name) const override;
  const std::string& GetName() const override { return m_strName; }

  std::uint8_t m_nKind = 0;
  std::uint8_t m_nMinute = 15;
  std::uint8_t m_nDays = 127;  // bit 0 Sunday .. bit 6 Saturday
  std::uint8_t m_nDayOfMonth = 15;
  std::int16_t m_nPeriod = 25;  // minutes between periodic runs
  std::int16_t m_nStart = 615;  // minutes after midnight
  std::int16_t m_nEnd = 975;
  std::string m_strName;
};

// "1st", "2nd", "3rd", "4th", "11th", "21st": a day of the month in words.
std::string Ordinal(int n);
// "hh:mm AM" or "hh:mm PM" for minutes after midnight, 12-hour clock.
std::string FormatTimeOfDay(int minutes);
// Minutes after midnight for "h:m AM" or "h:m PM" in any case; 0xFFFF when
// the text is not a time (callers test bit 15).
std::uint16_t ParseTimeOfDay(std::string_view text);
// A run time as the schedule dialogs preview it: "Wed, 09 Dec 2026 08:15".
std::string FormatRunTime(std::uint32_t t);
