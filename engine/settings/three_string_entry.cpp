#include "engine/settings/three_string_entry.h"

#include "engine/settings/settings_store.h"
#include "harvion/settings.h"
#include "platform/registry/registry.h"

IMPLEMENT_DYNAMIC(C3StringEntry, CNamedItem)

namespace hv::settings {

namespace {

class ListLoader : public CStringEnumerator {
 public:
  ListLoader(std::string key, CNamedArray& list, std::string valueName)
      : m_key(std::move(key)), m_list(list), m_valueName(std::move(valueName)) {}

  int Enumerate(const char* name, const char* defaultValue) override {
    std::string second;
    reg::ReadString(m_key + '\\' + name, m_valueName, second);
    m_list.Add(std::make_unique<C3StringEntry>(name, defaultValue, second));
    return 1;
  }

 private:
  std::string m_key;
  CNamedArray& m_list;
  std::string m_valueName;
};

}  // namespace

void LoadThreeStringList(const std::string& key, CNamedArray& list, unsigned valueId) {
  if (key.empty()) return;
  ListLoader loader(key, list, ValueName(valueId));
  KeyEnumerate(HKEY_CURRENT_USER, key.c_str(), &loader);
}

bool SaveThreeStringList(const std::string& key, const CNamedArray& list, unsigned valueId) {
  if (key.empty()) return false;
  const std::string valueName = ValueName(valueId);
  return reg::Edit([&](reg::Tree& tree) {
    for (const std::string& sub : tree.SubKeys(key)) tree.DeleteKey(key + '\\' + sub);
    for (int i = 0; i < list.GetSize(); ++i) {
      const auto* entry = dynamic_cast<const C3StringEntry*>(list.GetAt(i));
      // A backslash would make the name a path of nested keys.
      if (!entry || entry->m_strName.empty() || entry->m_strName.find('\\') != std::string::npos) continue;
      const std::string itemKey = key + '\\' + entry->m_strName;
      tree.WriteString(itemKey, std::string(), entry->m_strFirst);
      tree.WriteString(itemKey, valueName, entry->m_strSecond);
    }
  });
}

}  // namespace hv::settings
