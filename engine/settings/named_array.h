// An ordered list of named items that owns them, with lookup by exact name
// and the "Copy of" naming rule.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/settings/named_item.h"

class CNamedArray : public CObject {
  DECLARE_DYNAMIC(CNamedArray)
 public:
  CNamedArray() = default;
  CNamedArray(const CNamedArray&) = delete;
  CNamedArray& operator=(const CNamedArray&) = delete;
  ~CNamedArray() override = default;

  int GetSize() const { return static_cast<int>(m_items.size()); }
  CNamedItem* GetAt(int index) const;
  const std::string& GetNameAt(int index) const;
  void Add(std::unique_ptr<CNamedItem> item);

  // First item whose name equals the name exactly (case counts); -1 for an
  // empty name or none.
  int Find(const std::string& name) const;
  // Destroys the item and removes it; an index out of range changes nothing.
  virtual void RemoveItem(int index);
  virtual std::unique_ptr<CNamedArray> CloneArray() const;
  // A clone of the item under the first free "Copy of" name; the caller adds it.
  virtual std::unique_ptr<CNamedItem> Duplicate(int index) const;
  virtual void RemoveAllItems();

  // The list as an object array: a count, then each item as an object. Items
  // read must be of itemClass.
  void SerializeItems(CArchive& ar, const CRuntimeClass* itemClass);

 private:
  std::vector<std::unique_ptr<CNamedItem>> m_items;
};

namespace hv::settings {

// "Copy of NAME", else "Copy(2) of NAME" and so on: the first name not taken.
std::string CopyName(const std::string& name, const std::function<bool(const std::string&)>& taken);

}  // namespace hv::settings
