#include "engine/schedule/schedule.h"

#include <ctime>

#include "engine/settings/settings_store.h"
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
