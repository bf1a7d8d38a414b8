// The base of every item of a named list: strategy entries, search engines,
// passwords, schedules.
#pragma once

#include <memory>
#include <string>

#include "platform/framework/serial.h"

class CNamedItem : public CObject {
  DECLARE_DYNAMIC(CNamedItem)
 public:
  // A new item equal to this one but with the given name.
  virtual std::unique_ptr<CNamedItem> Clone(const std::string& name) const = 0;
  virtual const std::string& GetName() const = 0;
  // Bit 0: may be removed; bit 1: may be modified; bit 2: may be copied.
  virtual int GetPermissions() const { return 7; }
};
