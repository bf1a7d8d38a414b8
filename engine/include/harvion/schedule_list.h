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
};
