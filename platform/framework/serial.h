// Run-time class declarations for classes that can be created by name and
// stored in an archive.
#pragma once

#include "harvion/object.h"

// In the class body: the class record and GetRuntimeClass.
#define DECLARE_DYNAMIC(name)                              \
 public:                                                   \
  static const CRuntimeClass class##name;                  \
  static const CRuntimeClass& GetThisClass() { return class##name; } \
  const CRuntimeClass* GetRuntimeClass() const override;

// Also creatable by name (and therefore readable from an archive).
#define DECLARE_SERIAL(name) \
  DECLARE_DYNAMIC(name)      \
  static CObject* CreateObject();

#define IMPLEMENT_DYNAMIC(name, base)                                                          \
  const CRuntimeClass name::class##name = {#name, 0xFFFF, nullptr, RUNTIME_CLASS(base)};       \
  const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }

#define IMPLEMENT_SERIAL(name, base, schema)                                                   \
  CObject* name::CreateObject() { return new name; }                                           \
  const CRuntimeClass name::class##name = {#name, schema, name::CreateObject, RUNTIME_CLASS(base)}; \
  const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }           \
  static const bool hv_registered_##name = (CRuntimeClass::Register(RUNTIME_CLASS(name)), true);
