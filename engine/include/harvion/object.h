// The root object class with run-time class records.
#pragma once

#include "harvion/types.h"

class CArchive;
class CObject;

// One record per class: its name, schema, base class and (for classes that
// can be created by name) a factory.
struct HV_EXPORT CRuntimeClass {
  const char* m_lpszClassName;
  unsigned int m_wSchema;
  CObject* (*m_pfnCreateObject)();
  const CRuntimeClass* m_pBaseClass;

  bool IsDerivedFrom(const CRuntimeClass* base) const;
  // Null when the class cannot be created by name.
  CObject* CreateObject() const;
  // The creatable class registered under this name, or null.
  static const CRuntimeClass* FromName(const char* name);
  // Registers a class for creation by name; called by static registrars.
  static void Register(const CRuntimeClass* cls);
};

class HV_EXPORT CObject {
 public:
  virtual ~CObject();
  virtual const CRuntimeClass* GetRuntimeClass() const;
  virtual void Serialize(CArchive& ar);

  bool IsKindOf(const CRuntimeClass* cls) const;

  static const CRuntimeClass classCObject;

 protected:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(name) (&name::class##name)
