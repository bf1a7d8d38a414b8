// The schedule list for front ends without the schedule dialogs: the same
// checks and messages, each change stored at once.
#include "harvion/schedule_list.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

#include "engine/cache/cache.h"
#include "engine/schedule/schedule.h"
#include "engine/settings/list_merge.h"
#include "platform/files/file_lock.h"
#include "platform/home.h"
#include "resources/resources.h"

namespace {

const char kNotWritten[] = "the settings store could not be written";

// Held from reading the list to storing it again, so that two programs
// changing schedules at once do not write over each other's change: the
// list is stored whole.
// Without a Harvion folder the lock is not held and nothing is stored.
hv::fs::FileLock EditLock() {
  const std::string home = hv::HomeDirectory();
  return hv::fs::FileLock(home.empty() ? std::string() : home + "/.schedules.lock");
}

// The list as stored now: another process may have changed it since this
// one read it.
CSchedule& Reloaded() {
  CSchedule& list = CSchedule::Instance();
  list.Load();
  return list;
}

// The edit as the editor's controls would hold it: the entry's values, as
// the dialog fills its controls, replaced by what was given.
ScheduleEdit Merge(const CScheduleEntry& entry, const CScheduleList::Edit& edit) {
  ScheduleEdit e;
  e.strName = edit.name;
  e.nKind = static_cast<std::uint8_t>(edit.kind.value_or(entry.m_nKind));
  e.nMinute = static_cast<std::uint8_t>(edit.minute.value_or(entry.m_nMinute));
  e.nDays = static_cast<std::uint8_t>(edit.days.value_or(entry.m_nDays));
  e.nDayOfMonth = static_cast<std::uint8_t>(edit.dayOfMonth.value_or(entry.m_nDayOfMonth));
  e.nPeriod = static_cast<std::int16_t>(edit.period.value_or(entry.m_nPeriod));
  e.strStart = edit.start.value_or(FormatTimeOfDay(entry.m_nStart));
  e.strEnd = edit.end.value_or(FormatTimeOfDay(entry.m_nEnd));
  return e;
}

std::string OutOfRange(const char* what, int low, int high) {
  return std::string(what) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
         ".";
}

// The number fields the kind shows are range-checked as they are read, before
// the other checks; the values are checked before they are narrowed.
std::string RangeRefusal(const CScheduleEntry& entry, const CScheduleList::Edit& edit) {
  const int kind = edit.kind.value_or(entry.m_nKind);
  if (kind < CScheduleList::kindHourly || kind > CScheduleList::kindMonthly) return "Unknown kind of schedule.";
  if (edit.days && (*edit.days < 0 || *edit.days > 0xFF)) return "The days are not a day mask.";
  if (kind == CScheduleList::kindHourly) {
    const int minute = edit.minute.value_or(entry.m_nMinute);
    if (minute < 0 || minute > 59) return OutOfRange("The minute", 0, 59);
  }
  if (kind == CScheduleList::kindPeriodic) {
    const int period = edit.period.value_or(entry.m_nPeriod);
    if (period < 1 || period > 1439) return OutOfRange("The period", 1, 1439);
  }
  if (kind == CScheduleList::kindMonthly) {
    const int day = edit.dayOfMonth.value_or(entry.m_nDayOfMonth);
    if (day < 1 || day > 31) return OutOfRange("The day of the month", 1, 31);
  }
  return {};
}

// Checks the edit and, when it is sound, copies it into entry; the message to
// show otherwise, with entry unchanged.
std::string Apply(const CSchedule& list, const CScheduleList::Edit& edit, bool adding, CScheduleEntry& entry) {
  std::string refusal = RangeRefusal(entry, edit);
  if (!refusal.empty()) return refusal;
  const unsigned message = list.Validate(Merge(entry, edit), adding, entry);
  return message ? hv::res::LoadString(message) : std::string();
}

std::string Stored(const CSchedule& list) { return list.Save() ? std::string() : kNotWritten; }

std::string NoSchedule(const std::string& name) { return "no schedule named '" + name + "'"; }

// The settings store keeps each schedule under a key of its name, one line
// of its file.
std::string NameRefusal(const std::string& name) {
  if (name.find('\\') != std::string::npos) return "A schedule name cannot contain '\\'.";
  const auto control = [](char c) { return std::iscntrl(static_cast<unsigned char>(c)) != 0; };
  if (std::any_of(name.begin(), name.end(), control)) return "A schedule name cannot contain control characters.";
  return {};
}

CScheduleList::Schedule ToSchedule(const CScheduleEntry& entry) {
  CScheduleList::Schedule s;
  s.name = entry.m_strName;
  s.kind = entry.m_nKind;
  s.minute = entry.m_nMinute;
  s.days = entry.m_nDays;
  s.dayOfMonth = entry.m_nDayOfMonth;
  s.period = entry.m_nPeriod;
  s.start = FormatTimeOfDay(entry.m_nStart);
  s.end = FormatTimeOfDay(entry.m_nEnd);
  s.startMinutes = entry.m_nStart;
  s.endMinutes = entry.m_nEnd;
  s.description = entry.Describe();
  s.nextRun = entry.NextRun();
  if (s.nextRun) s.nextRunText = FormatRunTime(s.nextRun);
  return s;
}

// The fields as the store holds them; the numbers came from there or from
// Check, so they fit.
std::unique_ptr<CScheduleEntry> ToEntry(const CScheduleList::Schedule& s) {
  auto entry = std::make_unique<CScheduleEntry>();
  entry->m_strName = s.name;
  entry->m_nKind = static_cast<std::uint8_t>(s.kind);
  entry->m_nMinute = static_cast<std::uint8_t>(s.minute);
  entry->m_nDays = static_cast<std::uint8_t>(s.days);
  entry->m_nDayOfMonth = static_cast<std::uint8_t>(s.dayOfMonth);
  entry->m_nPeriod = static_cast<std::int16_t>(s.period);
  entry->m_nStart = static_cast<std::int16_t>(s.startMinutes);
  entry->m_nEnd = static_cast<std::int16_t>(s.endMinutes);
  return entry;
}

// A schedule as the merge of edits compares it: its name and stored bytes.
struct StoredSchedule {
  std::string name;
  ScheduleSettings settings;
  bool operator==(const StoredSchedule&) const = default;
};

std::vector<StoredSchedule> Packed(const std::vector<CScheduleList::Schedule>& list) {
  std::vector<StoredSchedule> packed;
  for (const CScheduleList::Schedule& s : list) packed.push_back({s.name, ToEntry(s)->Pack()});
  return packed;
}

// Names are keys of the store, which compares them without regard to case.
std::string KeyOf(const StoredSchedule& s) {
  std::string key = s.name;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

std::vector<CScheduleList::Schedule> CScheduleList::List() {
  std::vector<Schedule> schedules;
  try {
    const CSchedule& list = Reloaded();
    for (int i = 0; i < list.GetSize(); ++i) schedules.push_back(ToSchedule(*list.EntryAt(i)));
  } catch (...) {
    // A store that cannot be read lists what was gathered.
  }
  return schedules;
}

bool CScheduleList::IsEnabled() {
  try {
    return Reloaded().m_bEnabled != 0;
  } catch (...) {
    return false;
  }
}

std::string CScheduleList::SetEnabled(bool enabled) {
  try {
    const hv::fs::FileLock lock = EditLock();
    // Against the stored flag, so that only a real change to on starts the
    // scheduler program.
    Reloaded().SetEnabled(enabled);
    return (Reloaded().m_bEnabled != 0) == enabled ? std::string() : kNotWritten;
  } catch (...) {
    return kNotWritten;
  }
}

std::string CScheduleList::Add(const Edit& edit) {
  try {
    const hv::fs::FileLock lock = EditLock();
    CSchedule& list = Reloaded();
    if (std::string refusal = NameRefusal(edit.name); !refusal.empty()) return refusal;
    auto entry = std::make_unique<CScheduleEntry>();
    std::string refusal = Apply(list, edit, true, *entry);
    if (!refusal.empty()) return refusal;
    list.Add(std::move(entry));
    return Stored(list);
  } catch (...) {
    return kNotWritten;
  }
}

std::string CScheduleList::Modify(const Edit& edit) {
  try {
    const hv::fs::FileLock lock = EditLock();
    CSchedule& list = Reloaded();
    const int index = list.Find(edit.name);
    if (index < 0) return NoSchedule(edit.name);
    std::string refusal = Apply(list, edit, false, *list.EntryAt(index));
    if (!refusal.empty()) return refusal;
    return Stored(list);
  } catch (...) {
    return kNotWritten;
  }
}

std::string CScheduleList::Remove(const std::string& name) {
  try {
    const hv::fs::FileLock lock = EditLock();
    CSchedule& list = Reloaded();
    const int index = list.Find(name);
    if (index < 0) return NoSchedule(name);
    list.RemoveItem(index);
    return Stored(list);
  } catch (...) {
    return kNotWritten;
  }
}

CScheduleList::Book CScheduleList::Read() {
  Book book;
  try {
    // The engine's tree reads the same list to name its items' schedules.
    const std::lock_guard guard(CCache::Lock());
    const CSchedule& list = Reloaded();
    book.enabled = list.m_bEnabled != 0;
    for (int i = 0; i < list.GetSize(); ++i) book.schedules.push_back(ToSchedule(*list.EntryAt(i)));
  } catch (...) {
    // A store that cannot be read gives what was gathered.
  }
  return book;
}

CScheduleList::Schedule CScheduleList::Fresh() { return ToSchedule(CScheduleEntry()); }

std::string CScheduleList::Check(const std::vector<Schedule>& list, const Edit& edit, bool adding,
                                 Schedule& schedule) {
  try {
    if (adding) {
      if (std::string refusal = NameRefusal(edit.name); !refusal.empty()) return refusal;
    }
    // Only the names count: a new schedule's must be free.
    CSchedule names;
    names.RemoveAllItems();
    for (const Schedule& s : list) names.Add(std::make_unique<CScheduleEntry>(s.name, ScheduleSettings{}));
    const std::unique_ptr<CScheduleEntry> entry = ToEntry(schedule);
    std::string refusal = Apply(names, edit, adding, *entry);
    if (refusal.empty()) schedule = ToSchedule(*entry);
    return refusal;
  } catch (...) {
    return "The schedule could not be checked.";
  }
}

std::string CScheduleList::Change(const Book& shown, const Book& edited) {
  try {
    const hv::fs::FileLock lock = EditLock();
    const std::lock_guard guard(CCache::Lock());
    CSchedule& list = Reloaded();
    std::vector<StoredSchedule> stored;
    for (int i = 0; i < list.GetSize(); ++i) stored.push_back({list.GetNameAt(i), list.EntryAt(i)->Pack()});
    stored = hv::settings::MergeListEdits(std::move(stored), Packed(shown.schedules), Packed(edited.schedules), KeyOf);
    list.RemoveAllItems();
    for (const StoredSchedule& s : stored) list.Add(std::make_unique<CScheduleEntry>(s.name, s.settings));
    if (!list.Save()) return kNotWritten;
    // Left alone unless the user turned it: another program may have.
    if (edited.enabled != shown.enabled) list.SetEnabled(edited.enabled);
    return {};
  } catch (...) {
    return kNotWritten;
  }
}
