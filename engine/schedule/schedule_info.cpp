#include "engine/schedule/schedule_info.h"

#include "platform/framework/archive.h"

IMPLEMENT_SERIAL(CScheduleInfo, CObject, 1)

void CScheduleInfo::Serialize(CArchive& ar) {
  if (ar.IsStoring())
    ar.WriteString(m_strName);
  else
    m_strName = ar.ReadString();
}
