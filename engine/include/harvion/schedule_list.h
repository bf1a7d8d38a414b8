// The engine's list of named schedules as front ends without the schedule
// dialogs show and change it, with the switch for unattended runs. Every call
// reads the list from the settings store first, since the desktop program or
// another command may have changed it, and a change is stored at once.
// Refusals are the texts the schedule dialogs show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "harvion/types.h"

class HV_EXPORT CScheduleList {
 public:
  // The kinds as the settings store holds them. A weekly schedule is a daily
  // one with one day.
  enum Kind { kindHourly = 0, kindPeriodic = 1, kindDaily = 2, kindMonthly = 3 };

  struct Schedule {
    std::string name;
    int kind = kindHourly;
    int minute = 0;      // hourly: minutes after the hour
    int days = 0;        // bit 0 Sunday .. bit 6 Saturday
    int dayOfMonth = 0;  // monthly
    int period = 0;      // periodic: minutes between runs
    std::string start;   // "08:15 AM": the run time, or the start of the periodic window
    std::string end;     // end of the periodic window
    int startMinutes = 0;  // the same as minutes after midnight, as stored
    int endMinutes = 0;
    std::string description;  // "At 08:15 AM on every Monday, ..."
    std::uint32_t nextRun = 0;  // seconds since 1970; 0 when it has none
    std::string nextRunText;    // "Wed, 09 Dec 2026 08:15"; empty when it has none
  };

  // What a schedule editor commits. Fields left empty keep the schedule's
  // values when modifying, and take a new schedule's defaults when adding
  // (hourly at 15 minutes past, every day, day 15, every 25 minutes between
  // 10:15 AM and 04:15 PM). Only the fields the kind uses are checked and
  // taken: the minute for hourly; the days for all but monthly; period, start
  // and end for periodic; start for daily and monthly; the day of the month
  // for monthly. Every field has an initializer, so designated initializers
  // may leave any out.
  struct Edit {
    std::string name;
    std::optional<int> kind{};
    std::optional<int> minute{};
    std::optional<int> days{};
    std::optional<int> dayOfMonth{};
    std::optional<int> period{};
    std::optional<std::string> start{};  // time of day as typed: "h:m AM" or "h:m PM"
    std::optional<std::string> end{};
  };

  // Every schedule in list order; empty when the store cannot be read.
  static std::vector<Schedule> List();
  // Whether unattended runs are on; false when the store cannot be read.
  static bool IsEnabled();
  // Turns unattended runs on or off; turning them on starts the scheduler
  // program. Empty on success, otherwise why not.
  static std::string SetEnabled(bool enabled);

  // Each returns an empty text when the list was changed and stored, and
  // otherwise the reason, with nothing written.
  static std::string Add(const Edit& edit);
  static std::string Modify(const Edit& edit);
  static std::string Remove(const std::string& name);

  // For the schedule dialogs, which change a copy of the list and store it
  // when the user confirms.
  struct Book {
    std::vector<Schedule> schedules;
    bool enabled = false;
  };
  // The list and the switch as stored now.
  static Book Read();
  // A new schedule with the editor's defaults and no name.
  static Schedule Fresh();
  // Checks an edit as the schedule editor commits it and, when it is sound,
  // sets `schedule` (the one edited, or the one a new schedule starts from:
  // Fresh() or the one copied) from it, with its description and next run. A new schedule's name must not be one of
  // `list`'s. Empty when sound, otherwise the message to show, with
  // `schedule` unchanged.
  static std::string Check(const std::vector<Schedule>& list, const Edit& edit, bool adding, Schedule& schedule);
  // Stores what the user changed from `shown` (as Read gave it) to `edited`
  // in the list as stored now, in one change of the store: a schedule another
  // program added or changed meanwhile stays unless the user changed or
  // removed the same one, and the switch is set only when the user changed
  // it. Empty on success, otherwise why not.
  static std::string Change(const Book& shown, const Book& edited);
};
