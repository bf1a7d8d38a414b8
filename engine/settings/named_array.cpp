#include "engine/settings/named_array.h"

#include <cstdio>

#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

IMPLEMENT_DYNAMIC(CNamedItem, CObject)
IMPLEMENT_DYNAMIC(CNamedArray, CObject)

namespace {

std::string FormatCopyName(const std::string& name, int n) {
  std::string format = hv::res::LoadString(n < 2 ? hv::res::IDS_COPY_OF : hv::res::IDS_COPY_N_OF);
  // Names are data: format them as arguments, never as part of the format.
  std::string out;
  std::size_t pos = 0;
  while (pos < format.size()) {
    if (format.compare(pos, 2, "%s") == 0) {
      out += name;
      pos += 2;
    } else if (format.compare(pos, 2, "%d") == 0) {
      out += std::to_string(n);
      pos += 2;
    } else {
      out += format[pos++];
    }
  }
  return out;
}

}  // namespace

namespace hv::settings {

std::string CopyName(const std::string& name, const std::function<bool(const std::string&)>& taken) {
  std::string candidate = FormatCopyName(name, 1);
  for (int n = 2; taken(candidate); ++n) candidate = FormatCopyName(name, n);
  return candidate;
}

}  // namespace hv::settings

CNamedItem* CNamedArray::GetAt(int index) const {
  return (index >= 0 && index < GetSize()) ? m_items[static_cast<std::size_t>(index)].get() : nullptr;
}

const std::string& CNamedArray::GetNameAt(int index) const {
  static const std::string kEmpty;
  const CNamedItem* item = GetAt(index);
  return item ? item->GetName() : kEmpty;
}

void CNamedArray::Add(std::unique_ptr<CNamedItem> item) {
  if (item) m_items.push_back(std::move(item));
}

int CNamedArray::Find(const std::string& name) const {
  if (name.empty()) return -1;
  for (std::size_t i = 0; i < m_items.size(); ++i)
    if (m_items[i]->GetName() == name) return static_cast<int>(i);
  return -1;
}

void CNamedArray::RemoveItem(int index) {
  if (index >= 0 && index < GetSize()) m_items.erase(m_items.begin() + index);
}

std::unique_ptr<CNamedArray> CNamedArray::CloneArray() const {
  auto copy = std::make_unique<CNamedArray>();
  for (const auto& item : m_items) copy->Add(item->Clone(item->GetName()));
  return copy;
}

std::unique_ptr<CNamedItem> CNamedArray::Duplicate(int index) const {
  const CNamedItem* item = GetAt(index);
  if (!item) return nullptr;
  return item->Clone(hv::settings::CopyName(item->GetName(), [this](const std::string& n) { return Find(n) >= 0; }));
}

void CNamedArray::RemoveAllItems() { m_items.clear(); }

void CNamedArray::SerializeItems(CArchive& ar, const CRuntimeClass* itemClass) {
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<std::uint32_t>(m_items.size()));
    for (const auto& item : m_items) ar.WriteObject(item.get());
    return;
  }
  RemoveAllItems();
  // Every item takes at least its 2-byte reference.
  const std::uint32_t count = ar.ReadCount(2);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::unique_ptr<CObject> obj = ar.ReadNewObject(itemClass);
    if (!obj) throw CArchiveException("empty list entry");
    m_items.emplace_back(static_cast<CNamedItem*>(obj.release()));
  }
}
