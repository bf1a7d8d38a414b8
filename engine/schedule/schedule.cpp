#include "engine/schedule/schedule.h"

#include <cctype>
#include <cstring>
#include <ctime>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/settings/settings_store.h"
#include "harvion/global_memory.h"
#include "platform/registry/registry.h"
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

void CSchedule::Load() {
  RemoveAllItems();
  m_bEnabled = 0;
  std::string key;
  if (hv::settings::KeyPath(hv::res::IDS_REG_SCHEDULE, key)) {
    std::uint32_t enabled = 0;
    hv::settings::ReadDWord(key, hv::res::IDS_REG_ENABLE_SCHEDULE, enabled);
    m_bEnabled = enabled != 0;
    for (const std::string& name : hv::reg::SubKeys(key)) {
      ScheduleSettings settings{};
      // A missing or oversized value leaves the zeros.
      hv::settings::ReadBinary(key + '\\' + name, hv::res::IDS_REG_SETTINGS, settings.data(), settings.size());
      Add(std::make_unique<CScheduleEntry>(name, settings));
    }
  }
  if (GetSize() == 0) {
    SetDefaults();
    Save();
  }
}

bool CSchedule::Save() const {
  std::string key;
  if (!hv::settings::KeyPath(hv::res::IDS_REG_SCHEDULE, key)) return false;
  const std::string enableName = hv::settings::ValueName(hv::res::IDS_REG_ENABLE_SCHEDULE);
  const std::string settingsName = hv::settings::ValueName(hv::res::IDS_REG_SETTINGS);
  // One change of the store: the scheduler program never sees the list half written.
  return hv::reg::Edit([&](hv::reg::Tree& tree) {
    tree.WriteDWord(key, enableName, m_bEnabled ? 1u : 0u);
    for (const std::string& sub : tree.SubKeys(key)) tree.DeleteKey(key + '\\' + sub);
    for (int i = 0; i < GetSize(); ++i) {
      const CScheduleEntry* entry = EntryAt(i);
      if (entry->m_strName.empty() || entry->m_strName.find('\\') != std::string::npos) continue;
      const ScheduleSettings packed = entry->Pack();
      tree.WriteBinary(key + '\\' + entry->m_strName, settingsName,
                       std::vector<std::uint8_t>(packed.begin(), packed.end()));
    }
  });
}

void CSchedule::SetEnabled(bool enabled) {
  const int flag = enabled ? 1 : 0;
  const bool changed = flag != m_bEnabled;
  m_bEnabled = flag;
  std::string key;
  if (hv::settings::KeyPath(hv::res::IDS_REG_SCHEDULE, key))
    hv::settings::WriteDWord(key, hv::res::IDS_REG_ENABLE_SCHEDULE, static_cast<std::uint32_t>(flag));
  if (!changed) return;
  if (CAgentAnchor* agent = CAgentManager::Instance().Agent()) agent->m_bModified = 1;
  if (flag && m_startScheduler) m_startScheduler();
}

HGLOBAL CSchedule::GetNameList() const {
  if (GetSize() == 0) return nullptr;
  std::size_t bytes = 1;
  for (int i = 0; i < GetSize(); ++i) bytes += GetNameAt(i).size() + 1;
  HGLOBAL block = GlobalAlloc(GHND, bytes);
  if (!block) return nullptr;
  char* out = static_cast<char*>(GlobalLock(block));
  if (!out) {
    GlobalFree(block);
    return nullptr;
  }
  for (int i = 0; i < GetSize(); ++i) {
    const std::string& name = GetNameAt(i);
    std::memcpy(out, name.data(), name.size());
    out += name.size() + 1;  // the zero byte is already there
  }
  GlobalUnlock(block);
  return block;
}

bool CSchedule::NameInUse(const std::string& name) const {
  // Each schedule is stored under a key of its name, and key names are
  // matched without regard to case: "hourly" would overwrite "Hourly".
  const auto folded = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string wanted = folded(name);
  for (int i = 0; i < GetSize(); ++i)
    if (folded(GetNameAt(i)) == wanted) return true;
  return false;
}

unsigned CSchedule::Validate(const ScheduleEdit& edit, bool adding, CScheduleEntry& entry) const {
  const auto kind = static_cast<ScheduleKind>(edit.nKind);
  const bool showsDays = kind != ScheduleKind::Monthly;
  const bool showsWindow = kind == ScheduleKind::Periodic;
  const bool showsStart = kind != ScheduleKind::Hourly;
  if (showsDays && (edit.nDays & 0x7F) == 0) return hv::res::IDS_SCHEDULE_NO_DAY;
  const std::uint16_t end = showsWindow ? ParseTimeOfDay(edit.strEnd) : 0;
  const std::uint16_t start = showsStart ? ParseTimeOfDay(edit.strStart) : 0;
  if ((end | start) & 0x8000) return hv::res::IDS_SCHEDULE_BAD_TIME;
  if (showsWindow && static_cast<std::int16_t>(start) >= static_cast<std::int16_t>(end))
    return hv::res::IDS_SCHEDULE_START_AFTER_END;
  if (adding) {
    if (edit.strName.empty()) return hv::res::IDS_SCHEDULE_NO_NAME;
    if (NameInUse(edit.strName)) return hv::res::IDS_SCHEDULE_NAME_IN_USE;
    entry.m_strName = edit.strName;
  }
  entry.m_nKind = edit.nKind;
  if (kind == ScheduleKind::Hourly) entry.m_nMinute = edit.nMinute;
  if (showsDays) entry.m_nDays = edit.nDays;
  if (kind == ScheduleKind::Monthly) entry.m_nDayOfMonth = edit.nDayOfMonth;
  if (showsWindow) {
    entry.m_nPeriod = edit.nPeriod;
    entry.m_nEnd = static_cast<std::int16_t>(end);
  }
  if (showsStart) entry.m_nStart = static_cast<std::int16_t>(start);
  return 0;
}
