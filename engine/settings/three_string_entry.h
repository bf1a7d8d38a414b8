// An item of the lists kept in the settings store (search engines, stored
// passwords): a name and two texts.
#pragma once

#include <memory>
#include <string>

#include "engine/settings/named_array.h"

class C3StringEntry : public CNamedItem {
  DECLARE_DYNAMIC(C3StringEntry)
 public:
  C3StringEntry() = default;
  C3StringEntry(std::string name, std::string first, std::string second)
      : m_strName(std::move(name)), m_strFirst(std::move(first)), m_strSecond(std::move(second)) {}

  std::unique_ptr<CNamedItem> Clone(const std::string& name) const override {
    return std::make_unique<C3StringEntry>(name, m_strFirst, m_strSecond);
  }
  const std::string& GetName() const override { return m_strName; }

  std::string m_strName;
  std::string m_strFirst;   // the subkey's default value
  std::string m_strSecond;  // the subkey's named value
};

namespace hv::settings {

// Appends one entry per subkey of the key, in the store's order: the subkey's
// name, its default value and its value of the given name.
void LoadThreeStringList(const std::string& key, CNamedArray& list, unsigned valueId);
// Replaces every subkey of the key by the list's entries, in one change of
// the store so that no reader sees the list half written. False when the
// store could not be written (it is then unchanged).
bool SaveThreeStringList(const std::string& key, const CNamedArray& list, unsigned valueId);

}  // namespace hv::settings
