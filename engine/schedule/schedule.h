// The engine-wide list of schedules that tree nodes refer to by name.
#pragma once

#include "engine/schedule/schedule_entry.h"
#include "engine/settings/named_array.h"

class CSchedule : public CNamedArray {
 public:
  // The one list of the engine, holding the five default schedules until the
  // stored list replaces them.
  static CSchedule& Instance();

  CSchedule();
  // Empties the list and adds "Hourly", "Periodically", "Weekdays", "Weekly"
  // and "Monthly".
  void SetDefaults();

  // Reads the list and the enabled flag from the settings store; when the
  // store holds no schedule, the defaults are set and saved.
  void Load();
  // Writes the flag and replaces every stored schedule by the list's
  // entries. False when the store could not be written.
  bool Save() const;

  // The next run of the entry at the index from now (or t); 0 for no entry.
  std::uint32_t NextRun(int index, std::int64_t t = -1) const;

  CScheduleEntry* EntryAt(int index) const { return static_cast<CScheduleEntry*>(GetAt(index)); }

  int m_bEnabled = 0;  // unattended runs are on
};
