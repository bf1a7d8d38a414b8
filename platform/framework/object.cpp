#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "harvion/object.h"
#include "platform/framework/archive.h"

namespace {

struct ClassRegistry {
  std::mutex lock;
  std::map<std::string, const CRuntimeClass*, std::less<>> byName;
};

ClassRegistry& Registry() {
  static ClassRegistry registry;
  return registry;
}

}  // namespace

const CRuntimeClass CObject::classCObject = {"CObject", 0xFFFF, nullptr, nullptr};

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass)
    if (c == base) return true;
  return false;
}

CObject* CRuntimeClass::CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }

const CRuntimeClass* CRuntimeClass::FromName(const char* name) {
  auto& reg = Registry();
  std::lock_guard guard(reg.lock);
  auto it = reg.byName.find(std::string_view(name));
  return it == reg.byName.end() ? nullptr : it->second;
}

void CRuntimeClass::Register(const CRuntimeClass* cls) {
  auto& reg = Registry();
  std::lock_guard guard(reg.lock);
  reg.byName.emplace(cls->m_lpszClassName, cls);
}

CObject::~CObject() = default;

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

void CObject::Serialize(CArchive&) {}

bool CObject::IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }
