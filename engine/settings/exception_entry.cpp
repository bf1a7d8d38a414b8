#include "engine/settings/exception_entry.h"

#include "platform/framework/archive.h"

IMPLEMENT_SERIAL(CExceptionEntry, CNamedItem, 1)

std::unique_ptr<CNamedItem> CExceptionEntry::Clone(const std::string& name) const {
  return std::make_unique<CExceptionEntry>(name, m_nKind, m_strExclusions, m_nPermissions);
}

void CExceptionEntry::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteString(m_strName);
    ar.WriteDWord(static_cast<std::uint32_t>(m_nKind));
    ar.WriteString(m_strExclusions);
    ar.WriteDWord(static_cast<std::uint32_t>(m_nPermissions));
  } else {
    m_strName = ar.ReadString();
    m_nKind = static_cast<std::int32_t>(ar.ReadDWord());
    m_strExclusions = ar.ReadString();
    m_nPermissions = static_cast<std::int32_t>(ar.ReadDWord());
  }
}
