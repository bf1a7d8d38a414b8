// One named retrieval strategy of an agent: a file-type strategy (which kinds
// of files, which extensions to skip) or a location strategy (how far links
// may lead, which addresses to skip).
#pragma once

#include <cstdint>
#include <string>

#include "engine/settings/named_item.h"

class CExceptionEntry : public CNamedItem {
  DECLARE_SERIAL(CExceptionEntry)
 public:
  static constexpr int kBuiltInPermissions = 6;  // may be modified and copied
  static constexpr int kUserPermissions = 0xFFFF;

  CExceptionEntry() = default;
  CExceptionEntry(std::string name, int kind, std::string exclusions, int permissions)
      : m_strName(std::move(name)), m_nKind(kind), m_strExclusions(std::move(exclusions)),
        m_nPermissions(permissions) {}

  std::unique_ptr<CNamedItem> Clone(const std::string& name) const override;
  const std::string& GetName() const override { return m_strName; }
  int GetPermissions() const override { return m_nPermissions; }
  void Serialize(CArchive& ar) override;

  std::string m_strName;
  std::int32_t m_nKind = 0;  // loadDetail or linkType
  std::string m_strExclusions;  // one item a line, CR LF between lines
  std::int32_t m_nPermissions = kBuiltInPermissions;
};
