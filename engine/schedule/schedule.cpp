#include "engine/schedule/schedule.h"

#include <ctime>

#include "resources/resources.h"

CSchedule& CSchedule::Instance() {
  static CSchedule list;
  return list;
}

CSchedule::CSchedule() { SetDefaults(); }

void CSchedule::SetDefaults() {
  RemoveAllItems();
  // kind, minute, days, day of month, period, start, end (little-endian words)
  const ScheduleSettings defaults[] = {
      {0, 15, 255, 10, 0, 0, 0, 0, 0, 0},                                  // hourly at :15
      {1, 0, 62, 10, 25, 0, 600 & 0xFF, 600 >> 8, 960 & 0xFF, 960 >> 8},  // 10:00-16:00 weekdays
      {2, 15, 62, 10, 25, 0, 495 & 0xFF, 495 >> 8, 0, 0},                 // 08:15 weekdays
      {2, 15, 8, 10, 25, 0, 737 & 0xFF, 737 >> 8, 0, 0},                  // 12:17 Wednesdays
      {3, 15, 255, 10, 25, 0, 0, 0, 0, 0},                                 // midnight on the 10th
  };
  unsigned id = hv::res::IDS_SCHEDULE_FIRST;
  for (const auto& settings : defaults) Add(std::make_unique<CScheduleEntry>(hv::res::LoadString(id++), settings));
}

std::uint32_t CSchedule::NextRun(int index, std::int64_t t) const {
  const CScheduleEntry* entry = EntryAt(index);
  if (!entry) return 0;
  return entry->NextRun(t < 0 ? static_cast<std::int64_t>(std::time(nullptr)) : t);
}
