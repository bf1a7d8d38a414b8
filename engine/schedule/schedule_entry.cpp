#include "engine/schedule/schedule_entry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <initializer_list>

#include "resources/resources.h"

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

// hour:minute on the local date of tm shifted by days; out-of-range days and
// months roll over the way the calendar conversion rolls them. On the
// autumn change a time that happens twice is its first occurrence, so a run
// at it is not repeated an hour later; a time that the spring change skips is
// the moment after the jump, so it still runs once that day.
std::int64_t TimeOnDate(std::tm date, int days, int minutes) {
  // Settle the date at noon, which every day has.
  date.tm_mday += days;
  date.tm_hour = 12;
  date.tm_min = 0;
  date.tm_sec = 0;
  date.tm_isdst = -1;
  if (std::mktime(&date) == static_cast<std::time_t>(-1)) return 0;
  const int hour = minutes / 60;
  const int minute = minutes % 60;
  std::int64_t first = -1;
  std::int64_t later = -1;
  for (int dst = 0; dst <= 1; ++dst) {
    std::tm c{};
    c.tm_year = date.tm_year;
    c.tm_mon = date.tm_mon;
    c.tm_mday = date.tm_mday;
    c.tm_hour = hour;
    c.tm_min = minute;
    c.tm_isdst = dst;
    const std::int64_t r = std::mktime(&c);
    if (r == -1) continue;
    later = std::max(later, r);
    const bool exists = c.tm_mday == date.tm_mday && c.tm_hour == hour && c.tm_min == minute;
    if (exists && (first < 0 || r < first)) first = r;
  }
  return first >= 0 ? first : std::max<std::int64_t>(later, 0);
}

}  // namespace

int CScheduleEntry::DaysUntilNextAllowedDay(std::int64_t t) const {
  if ((m_nDays & 0x7F) == 0) return 1;
  const int w = LocalTime(t).tm_wday;
  for (int n = 1; n <= 7; ++n)
    if (m_nDays & (1 << ((w + n) % 7))) return n;
  return 1;
}

std::uint32_t CScheduleEntry::NextRun() const { return NextRun(static_cast<std::int64_t>(std::time(nullptr))); }

std::uint32_t CScheduleEntry::NextRun(std::int64_t t) const {
  const std::tm now = LocalTime(t);
  auto allowed = [this](std::int64_t x) { return (m_nDays >> LocalTime(x).tm_wday) & 1; };
  // A stored value outside the day is kept inside it rather than landing on
  // another date.
  const int start = std::clamp<int>(m_nStart, 0, 1439);
  std::int64_t result = 0;
  switch (static_cast<ScheduleKind>(m_nKind)) {
    case ScheduleKind::Hourly: {
      const int d = m_nMinute - now.tm_min;
      const std::int64_t u = t + (d > 0 ? d * 60 : d * 60 + 3600);
      result = allowed(u) ? u : TimeOnDate(now, DaysUntilNextAllowedDay(t), 0);
      break;
    }
    case ScheduleKind::Periodic: {
      // A period of zero or less would give a run before t, or the same t
      // forever.
      const std::int64_t u = t + static_cast<std::int64_t>(std::clamp<int>(m_nPeriod, 1, 1439)) * 60;
      const std::tm day = LocalTime(u);
      if (allowed(u) && u >= TimeOnDate(day, 0, start) && u <= TimeOnDate(day, 0, std::clamp<int>(m_nEnd, 0, 1439)))
        result = u;
      else
        result = TimeOnDate(now, DaysUntilNextAllowedDay(t), start);
      break;
    }
    case ScheduleKind::Daily: {
      const std::int64_t today = TimeOnDate(now, 0, start);
      result = (allowed(t) && t <= today) ? today : TimeOnDate(now, DaysUntilNextAllowedDay(t), start);
      break;
    }
    case ScheduleKind::Monthly: {
      std::tm date = now;
      date.tm_mday = m_nDayOfMonth;
      result = TimeOnDate(date, 0, start);
      if (result < t) {
        date.tm_mon += 1;
        result = TimeOnDate(date, 0, start);
      }
      break;
    }
    default:
      return 0;
  }
  return result < 0 ? 0 : static_cast<std::uint32_t>(result);
}

namespace {

// Fills each %s or %d of the format with the next argument, in order. The
// arguments are data, never part of the format.
std::string Fill(unsigned formatId, std::initializer_list<std::string> args) {
  const std::string format = hv::res::LoadString(formatId);
  std::string out;
  auto next = args.begin();
  for (std::size_t pos = 0; pos < format.size();) {
    if (format[pos] == '%' && pos + 1 < format.size() && (format[pos + 1] == 's' || format[pos + 1] == 'd') &&
        next != args.end()) {
      out += *next++;
      pos += 2;
    } else {
      out += format[pos++];
    }
  }
  return out;
}

std::string DayList(std::uint8_t days) {
  std::string out;
  for (unsigned day = 0; day < 7; ++day) {
    if (!(days & (1u << day))) continue;
    if (!out.empty()) out += ", ";
    out += hv::res::LoadString(hv::res::IDS_DAY_FIRST + day);
  }
  return out;
}

}  // namespace

std::string Ordinal(int n) {
  const int lastTwo = n % 100;
  const int last = n % 10;
  const char* suffix = "th";
  if (lastTwo < 11 || lastTwo > 13) suffix = last == 1 ? "st" : last == 2 ? "nd" : last == 3 ? "rd" : "th";
  return std::to_string(n) + suffix;
}

std::string CScheduleEntry::Describe() const {
  const unsigned first = hv::res::IDS_DESCRIBE_FIRST;
  switch (static_cast<ScheduleKind>(m_nKind)) {
    case ScheduleKind::Hourly:
      return Fill(m_nMinute == 1 ? hv::res::IDS_DESCRIBE_ONE_MINUTE_PAST : first, {std::to_string(m_nMinute)});
    case ScheduleKind::Periodic:
      if (m_nPeriod == 1)
        return Fill(hv::res::IDS_DESCRIBE_EVERY_MINUTE,
                    {FormatTimeOfDay(m_nStart), FormatTimeOfDay(m_nEnd), DayList(m_nDays)});
      return Fill(first + 1,
                  {std::to_string(m_nPeriod), FormatTimeOfDay(m_nStart), FormatTimeOfDay(m_nEnd), DayList(m_nDays)});
    case ScheduleKind::Daily:
      return Fill(first + 2, {FormatTimeOfDay(m_nStart), DayList(m_nDays)});
    case ScheduleKind::Monthly:
      return Fill(first + 3, {FormatTimeOfDay(m_nStart), Ordinal(m_nDayOfMonth)});
  }
  return "unknown";
}

std::string FormatTimeOfDay(int minutes) {
  const int hour = minutes / 60;
  const int twelve = hour % 12 == 0 ? 12 : hour % 12;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d %cM", twelve, minutes % 60, hour < 12 ? 'A' : 'P');
  return text;
}

namespace {

void SkipSpace(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
}

// A decimal number with an optional sign after optional white space, as
// scanf reads one, but refusing numbers that do not fit.
bool ReadNumber(std::string_view text, std::size_t& pos, int& value) {
  SkipSpace(text, pos);
  const char* begin = text.data() + pos;
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+' && ++begin != end && *begin == '-') return false;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc()) return false;
  pos = static_cast<std::size_t>(ptr - text.data());
  return true;
}

}  // namespace

std::uint16_t ParseTimeOfDay(std::string_view text) {
  constexpr std::uint16_t kInvalid = 0xFFFF;
  std::size_t pos = 0;
  int hour = 0;
  int minute = 0;
  if (!ReadNumber(text, pos, hour) || pos >= text.size() || text[pos++] != ':' || !ReadNumber(text, pos, minute))
    return kInvalid;
  SkipSpace(text, pos);
  if (pos >= text.size()) return kInvalid;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[pos])));
  if (letter != 'A' && letter != 'P') return kInvalid;
  if (hour == 12) hour = 0;
  if (letter == 'P') hour += 12;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return kInvalid;
  return static_cast<std::uint16_t>(hour * 60 + minute);
}

std::string FormatRunTime(std::uint32_t t) {
  const std::tm tm = LocalTime(t);
  char text[64];
  const std::string format = hv::res::LoadString(hv::res::IDS_NEXT_RUN_FORMAT);
  if (std::strftime(text, sizeof text, format.c_str(), &tm) == 0) return {};
  return text;
}
