#include "engine/schedule/schedule_info.h"

#include "engine/schedule/schedule.h"
#include "platform/framework/archive.h"

IMPLEMENT_SERIAL(CScheduleInfo, CObject, 1)

std::function<void(const CScheduleInfo&)>& CScheduleInfo::OnStored() {
  static std::function<void(const CScheduleInfo&)> hook;
  return hook;
}

void CScheduleInfo::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteString(m_strName);
    if (const auto& hook = OnStored()) hook(*this);
  } else {
    m_strName = ar.ReadString();
  }
}

int CScheduleInfo::Index() const { return CSchedule::Instance().Find(m_strName); }
