// A node's reference to a schedule of the schedule list, by name. A node that
// inherits its schedule holds none.
#pragma once

#include <functional>
#include <string>

#include "platform/framework/serial.h"

class CScheduleInfo : public CObject {
  DECLARE_SERIAL(CScheduleInfo)
 public:
  CScheduleInfo() = default;
  explicit CScheduleInfo(std::string name) : m_strName(std::move(name)) {}

  // Only the name is stored; storing then calls s_onStored so the node gets
  // its run entry for the scheduler program.
  void Serialize(CArchive& ar) override;

  // The index of the named schedule in the engine's list; -1 when it is gone
  // (the node then inherits).
  int Index() const;

  // Registers the run entry of a node whose reference was just written; the
  // run entries set it. Nothing is registered while it is empty.
  static std::function<void(const CScheduleInfo&)>& OnStored();

  std::string m_strName;
  // The owning node's path (each level's URL or name, joined by character 7),
  // filled just before the agent is written.
  std::string m_strAgentId;
};
