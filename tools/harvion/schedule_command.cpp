// harvion schedule: the named schedules items run on, and the switch for
// unattended runs.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "display_text.h"
#include "failure.h"
#include "harvion/global_memory.h"
#include "harvion/saf_client.h"
#include "harvion/schedule.h"
#include "harvion/schedule_list.h"

namespace harvion {

namespace {

// The words of --kind; weekly is the daily kind with one day.
struct KindWord {
  std::string_view word;
  int kind;
  bool weekly;
};
const KindWord kKinds[] = {{"hourly", CScheduleList::kindHourly, false},
                           {"periodic", CScheduleList::kindPeriodic, false},
                           {"daily", CScheduleList::kindDaily, false},
                           {"weekly", CScheduleList::kindDaily, true},
                           {"monthly", CScheduleList::kindMonthly, false}};

const char* const kDayNames[] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};
constexpr int kWeekdays = 0x3E;
constexpr int kAllDays = 0x7F;

// The options of add and modify, with the kinds each one applies to.
struct FieldOption {
  std::string_view name;
  std::vector<int> kinds;
};
const FieldOption kFieldOptions[] = {
    {"--minute", {CScheduleList::kindHourly}},
    {"--days", {CScheduleList::kindHourly, CScheduleList::kindPeriodic, CScheduleList::kindDaily}},
    {"--every", {CScheduleList::kindPeriodic}},
    {"--between", {CScheduleList::kindPeriodic}},
    {"--and", {CScheduleList::kindPeriodic}},
    {"--at", {CScheduleList::kindDaily, CScheduleList::kindMonthly}},
    {"--day", {CScheduleList::kindMonthly}},
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

const KindWord& ParseKind(const std::string& text) {
  for (const KindWord& k : kKinds)
    if (k.word == Lower(text)) return k;
  throw Failure("--kind must be hourly, periodic, daily, weekly or monthly");
}

int Number(const std::string& text, std::string_view option) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw Failure(std::string(option) + " must be a whole number");
  return value;
}

// "mon,wed,fri", full names, "weekdays", "all" or "none", in any case.
int ParseDays(const std::string& text) {
  const std::string words = Lower(text);
  if (words == "weekdays") return kWeekdays;
  if (words == "all") return kAllDays;
  if (words == "none" || words.empty()) return 0;
  int mask = 0;
  std::size_t from = 0;
  while (from <= words.size()) {
    std::size_t comma = words.find(',', from);
    if (comma == std::string::npos) comma = words.size();
    const std::string word = words.substr(from, comma - from);
    bool known = false;
    for (int day = 0; day < 7; ++day) {
      const std::string_view name = kDayNames[day];
      if (word == name || word == name.substr(0, 3)) {
        mask |= 1 << day;
        known = true;
      }
    }
    if (!known) throw Failure("--days must be days joined by commas (sun,mon,...), weekdays, all or none");
    from = comma + 1;
  }
  return mask;
}

// A 24-hour time ("07:30", "19:30", "7:05") as the engine reads times of
// day ("07:30 AM", "07:30 PM"); anything else as it is, for the engine to
// accept or refuse with its own message.
std::string TimeOfDay(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3) return text;
  int hour = 0, minute = 0;
  const char* begin = text.data();
  const auto [hourEnd, hourError] = std::from_chars(begin, begin + colon, hour);
  const auto [minuteEnd, minuteError] = std::from_chars(begin + colon + 1, begin + text.size(), minute);
  if (hourError != std::errc() || hourEnd != begin + colon || minuteError != std::errc() ||
      minuteEnd != begin + text.size() || !std::isdigit(static_cast<unsigned char>(text[colon + 1])) || hour > 23 ||
      minute > 59)
    return text;
  const int twelve = hour % 12 == 0 ? 12 : hour % 12;
  char twelveHour[32];
  std::snprintf(twelveHour, sizeof twelveHour, "%02d:%02d %s", twelve, minute, hour < 12 ? "AM" : "PM");
  return twelveHour;
}

int DayCount(int mask) {
  int count = 0;
  for (int day = 0; day < 7; ++day) count += (mask >> day) & 1;
  return count;
}

const CScheduleList::Schedule* FindSchedule(const std::vector<CScheduleList::Schedule>& list,
                                            const std::string& name) {
  for (const auto& s : list)
    if (s.name == name) return &s;
  return nullptr;
}

void PrintSchedule(const CScheduleList::Schedule& s) {
  std::cout << Quoted(s.name) << "  " << s.description << "  Next run: "
            << (s.nextRunText.empty() ? "none" : s.nextRunText) << '\n';
}

void PrintEnabled() { std::cout << "Unattended runs: " << (CScheduleList::IsEnabled() ? "on" : "off") << '\n'; }

std::string KindName(int kind) {
  for (const KindWord& k : kKinds)
    if (k.kind == kind) return std::string(k.word);
  return "unknown";
}

// The edit that add (existing null) or modify asks for. Options that the
// kind does not use are refused rather than quietly dropped.
CScheduleList::Edit ReadEdit(const Invocation& invocation, const std::string& name,
                             const CScheduleList::Schedule* existing) {
  CScheduleList::Edit edit;
  edit.name = name;
  const std::string* kindText = invocation.Option("--kind");
  if (!kindText && !existing) throw Failure("a new schedule needs --kind hourly, periodic, daily, weekly or monthly");
  const KindWord* kind = kindText ? &ParseKind(*kindText) : nullptr;
  const int engineKind = kind ? kind->kind : existing->kind;
  if (kind) edit.kind = kind->kind;
  for (const FieldOption& option : kFieldOptions) {
    if (!invocation.Option(option.name)) continue;
    if (std::find(option.kinds.begin(), option.kinds.end(), engineKind) == option.kinds.end())
      throw Failure(std::string(option.name) + " does not apply to a " +
                    (kind ? std::string(kind->word) : KindName(engineKind)) + " schedule");
  }
  if (const std::string* v = invocation.Option("--minute")) edit.minute = Number(*v, "--minute");
  if (const std::string* v = invocation.Option("--days")) edit.days = ParseDays(*v);
  if (const std::string* v = invocation.Option("--every")) edit.period = Number(*v, "--every");
  if (const std::string* v = invocation.Option("--day")) edit.dayOfMonth = Number(*v, "--day");
  if (const std::string* v = invocation.Option("--between")) edit.start = TimeOfDay(*v);
  if (const std::string* v = invocation.Option("--at")) edit.start = TimeOfDay(*v);
  if (const std::string* v = invocation.Option("--and")) edit.end = TimeOfDay(*v);
  if (kind && kind->weekly) {
    const int days = edit.days ? *edit.days : (existing && existing->kind == kind->kind ? existing->days : 0);
    if (DayCount(days) != 1) throw Failure("a weekly schedule runs on one day: give it with --days, e.g. --days wed");
  }
  return edit;
}

bool AnyFieldOption(const Invocation& invocation) {
  if (invocation.Option("--kind")) return true;
  return std::any_of(std::begin(kFieldOptions), std::end(kFieldOptions),
                     [&](const FieldOption& o) { return invocation.Option(o.name) != nullptr; });
}

void ExpectOperands(const Invocation& invocation, std::size_t count, const std::string& action) {
  if (invocation.operands.size() == count) return;
  throw Failure(count == 1 ? "schedule " + action + " takes no name" : "schedule " + action + " needs a NAME");
}

}  // namespace

std::vector<std::string> ScheduleNames() {
  std::vector<std::string> names;
  HGLOBAL block = CSafClient::GetScheduleList();
  if (!block) return names;
  if (const auto* bytes = static_cast<const char*>(GlobalLock(block))) {
    const std::size_t size = GlobalSize(block);
    // Each name ends with a zero byte; an empty one ends the list.
    for (std::size_t at = 0; at < size && bytes[at] != 0;) {
      const void* end = std::memchr(bytes + at, 0, size - at);
      if (!end) break;
      names.emplace_back(bytes + at, static_cast<const char*>(end));
      at += names.back().size() + 1;
    }
    GlobalUnlock(block);
  }
  GlobalFree(block);
  return names;
}

void RunSchedule(const Invocation& invocation, HeadlessUIClient&) {
  const std::vector<std::string>& args = invocation.operands;
  const std::string action = args.empty() ? std::string() : args[0];
  const bool editing = action == "add" || action == "modify";
  if (!editing && AnyFieldOption(invocation))
    throw Failure("--kind, --minute, --days, --every, --between, --and, --at and --day are for schedule add and "
                  "modify");

  if (action.empty()) {
    PrintEnabled();
    for (const auto& s : CScheduleList::List()) PrintSchedule(s);
  } else if (action == "on" || action == "off") {
    ExpectOperands(invocation, 1, action);
    const bool on = action == "on";
    const bool wasOn = CScheduleList::IsEnabled();
    const std::string refusal = CScheduleList::SetEnabled(on);
    if (!refusal.empty()) throw Failure(refusal);
    // Already on: the scheduler may have ended since (a logout, say); a
    // second one ends at once when the first still runs.
    if (on && wasOn) StartScheduler();
    PrintEnabled();
  } else if (action == "remove") {
    ExpectOperands(invocation, 2, action);
    const std::string refusal = CScheduleList::Remove(args[1]);
    if (!refusal.empty()) throw Failure(refusal);
  } else if (editing) {
    ExpectOperands(invocation, 2, action);
    const std::string& name = args[1];
    const std::vector<CScheduleList::Schedule> before = CScheduleList::List();
    const CScheduleList::Schedule* existing = FindSchedule(before, name);
    if (action == "modify" && !existing) throw Failure("no schedule named '" + name + "'");
    const CScheduleList::Edit edit = ReadEdit(invocation, name, action == "modify" ? existing : nullptr);
    const std::string refusal = action == "add" ? CScheduleList::Add(edit) : CScheduleList::Modify(edit);
    if (!refusal.empty()) throw Failure(refusal);
    const std::vector<CScheduleList::Schedule> after = CScheduleList::List();
    if (const CScheduleList::Schedule* s = FindSchedule(after, name)) PrintSchedule(*s);
  } else {
    throw Failure("no schedule action '" + action + "': give add, modify, remove, on or off");
  }
}

}  // namespace harvion
