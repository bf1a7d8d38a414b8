#include "engine/cache/page_child.h"

#include "platform/framework/archive.h"

IMPLEMENT_SERIAL(CPageChild, CObject, 1)

void CPageChild::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteByte(static_cast<std::uint8_t>(m_nLinkType));
    ar.WriteString(m_strAddress);
    ar.WriteString(m_strTitle);
  } else {
    m_nLinkType = ar.ReadByte();
    m_strAddress = ar.ReadString();
    m_strTitle = ar.ReadString();
  }
}
