// A folder of the agent tree.
#pragma once

#include "engine/agent/anchor.h"

class CCategoryAnchor : public CAnchor {
  DECLARE_SERIAL(CCategoryAnchor)
 public:
  CCategoryAnchor() { m_bUserItem = 1; }

  CSafNode* CreateNode() override;
  int GetKind() override;
  int Run() override;
  void Queue() override;
};
