// The node of an agent, made when the agent is shown and freed by Release.
#pragma once

#include "engine/agent/base_node.h"

class CAgentAnchor;

class CAgentNode : public CBaseNode {
 public:
  // Offsets of the agent record.
  static constexpr std::size_t kRecordHeader = 32;

  explicit CAgentNode(CAgentAnchor* anchor);

 protected:
  int DoGetData(int item, void* buffer, int size) override;
  HGLOBAL DoGetDataHandle(int item) override;
  int DoSetData(int item, const void* data, unsigned long size) override;

 private:
  CAgentAnchor* Agent() const;
  HGLOBAL AgentRecord() const;
  int TakeAgentRecord(const unsigned char* record, unsigned long size);
};
