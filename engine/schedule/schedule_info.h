// A node's reference to a schedule of the schedule list, by name. A node that
// inherits its schedule holds none.
#pragma once

#include <string>

#include "platform/framework/serial.h"

class CScheduleInfo : public CObject {
  DECLARE_SERIAL(CScheduleInfo)
 public:
  CScheduleInfo() = default;
  explicit CScheduleInfo(std::string name) : m_strName(std::move(name)) {}

  // Only the name is stored.
  void Serialize(CArchive& ar) override;

  std::string m_strName;
  // The owning node's path (each level's URL or name, joined by character 7),
  // filled just before the agent is written.
  std::string m_strAgentId;
};
