// The engine-wide list of schedules that tree nodes refer to by name.
#pragma once

#include <functional>
#include <string>

#include "engine/schedule/schedule_entry.h"
#include "engine/settings/named_array.h"
#include "harvion/types.h"

// What the schedule dialog holds when its controls are committed: the texts
// of the time fields as typed, the rest as chosen.
struct ScheduleEdit {
  std::string strName;
  std::uint8_t nKind = 0;
  std::uint8_t nMinute = 15;
  std::uint8_t nDays = 127;
  std::uint8_t nDayOfMonth = 15;
  std::int16_t nPeriod = 25;
  std::string strStart;
  std::string strEnd;
};

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

  // Turns unattended runs on or off and stores the flag. A change marks the
  // open agent modified; turning them on starts the scheduler program.
  void SetEnabled(bool enabled);
  // Starts the scheduler program; set by whoever provides it. Nothing is
  // started while it is empty.
  std::function<void()> m_startScheduler;

  // Every name in list order, each followed by a zero byte, then one more
  // zero byte, in a global memory block the caller frees; null when the list
  // is empty or memory is short.
  HGLOBAL GetNameList() const;

  // Checks the edit as the dialog commits it and, when it is sound, copies
  // the fields shown for its kind into entry (and the name when adding).
  // 0 when sound, otherwise the number of the message to show. Only a new
  // schedule's name is checked: modifying keeps the entry's name.
  unsigned Validate(const ScheduleEdit& edit, bool adding, CScheduleEntry& entry) const;

  // Whether a schedule has the name, in any letter case.
  bool NameInUse(const std::string& name) const;

  CScheduleEntry* EntryAt(int index) const { return static_cast<CScheduleEntry*>(GetAt(index)); }

  int m_bEnabled = 0;  // unattended runs are on
};
