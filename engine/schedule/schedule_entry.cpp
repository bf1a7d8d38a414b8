#include "engine/schedule/schedule_entry.h"

#include <ctime>

IMPLEMENT_SERIAL(CScheduleEntry, CNamedItem, 1)

namespace {

std::int16_t Word(const ScheduleSettings& s, std::size_t at) {
  return static_cast<std::int16_t>(s[at] | (s[at + 1] << 8));
}

void PutWord(ScheduleSettings& s, std::size_t at, std::int16_t v) {
  s[at] = static_cast<std::uint8_t>(v & 0xFF);
  s[at + 1] = static_cast<std::uint8_t>((static_cast<std::uint16_t>(v) >> 8) & 0xFF);
}

}  // namespace

CScheduleEntry::CScheduleEntry(std::string name, const ScheduleSettings& s)
    : m_nKind(s[0]), m_nMinute(s[1]), m_nDays(s[2]), m_nDayOfMonth(s[3]), m_nPeriod(Word(s, 4)),
      m_nStart(Word(s, 6)), m_nEnd(Word(s, 8)), m_strName(std::move(name)) {}

ScheduleSettings CScheduleEntry::Pack() const {
  ScheduleSettings s{m_nKind, m_nMinute, m_nDays, m_nDayOfMonth};
  PutWord(s, 4, m_nPeriod);
  PutWord(s, 6, m_nStart);
  PutWord(s, 8, m_nEnd);
  return s;
}

std::unique_ptr<CNamedItem> CScheduleEntry::Clone(const std::string& name) const {
  auto copy = std::make_unique<CScheduleEntry>(*this);
  copy->m_strName = name;
  return copy;
}

namespace {

std::tm LocalTime(std::int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  return tm;
}

// hour:minute on the local date of tm shifted by days, normalised the way
// the calendar conversion normalises out-of-range fields.
std::int64_t TimeOnDate(std::tm date, int days, int minutes) {
  date.tm_mday += days;
  date.tm_hour = minutes / 60;
  date.tm_min = minutes % 60;
  date.tm_sec = 0;
  date.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&date));
}

}  // namespace

int CScheduleEntry::DaysUntilNextAllowedDay(std::int64_t t) const {
  if ((m_nDays & 0x7F) == 0) return 1;
  const int w = LocalTime(t).tm_wday;
  for (int n = 1; n <= 7; ++n)
    if (m_nDays & (1 << ((w + n) % 7))) return n;
  return 1;
}

std::uint32_t CScheduleEntry::NextRun(std::int64_t t) const {
  const std::tm now = LocalTime(t);
  auto allowed = [this](std::int64_t x) { return (m_nDays >> LocalTime(x).tm_wday) & 1; };
  std::int64_t result = 0;
  switch (static_cast<ScheduleKind>(m_nKind)) {
    case ScheduleKind::Hourly: {
      const int d = m_nMinute - now.tm_min;
      const std::int64_t u = t + (d > 0 ? d * 60 : d * 60 + 3600);
      result = allowed(u) ? u : TimeOnDate(now, DaysUntilNextAllowedDay(t), 0);
      break;
    }
    case ScheduleKind::Periodic: {
      const std::int64_t u = t + static_cast<std::int64_t>(m_nPeriod) * 60;
      const std::tm day = LocalTime(u);
      if (allowed(u) && u >= TimeOnDate(day, 0, m_nStart) && u <= TimeOnDate(day, 0, m_nEnd))
        result = u;
      else
        result = TimeOnDate(now, DaysUntilNextAllowedDay(t), m_nStart);
      break;
    }
    case ScheduleKind::Daily: {
      const std::int64_t today = TimeOnDate(now, 0, m_nStart);
      result = (allowed(t) && t <= today) ? today : TimeOnDate(now, DaysUntilNextAllowedDay(t), m_nStart);
      break;
    }
    case ScheduleKind::Monthly: {
      std::tm date = now;
      date.tm_mday = m_nDayOfMonth;
      result = TimeOnDate(date, 0, m_nStart);
      if (result < t) {
        date.tm_mon += 1;
        result = TimeOnDate(date, 0, m_nStart);
      }
      break;
    }
    default:
      return 0;
  }
  return result < 0 ? 0 : static_cast<std::uint32_t>(result);
}
