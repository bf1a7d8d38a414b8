// The node of a folder or search folder, made when it is shown and freed by
// Release.
#pragma once

#include "engine/agent/base_node.h"

class CFolderNode : public CBaseNode {
 public:
  using CBaseNode::CBaseNode;

 protected:
  int DoGetData(int item, void* buffer, int size) override;
  int DoSetData(int item, const void* data, unsigned long size) override;
};
