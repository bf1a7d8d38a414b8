#include "engine/agent/folder_node.h"

#include "engine/agent/anchor.h"

int CFolderNode::DoGetData(int item, void* buffer, int size) {
  if (!m_pAnchor) return 0;
  if (item == itemName) return CopyText(m_pAnchor->GetDisplayName(), buffer, size);
  return CBaseNode::DoGetData(item, buffer, size);
}

int CFolderNode::DoSetData(int item, const void* data, unsigned long) {
  if (!m_pAnchor || !data) return 0;
  if (item != itemName) return 0;
  m_pAnchor->SetName(static_cast<const char*>(data), 0);
  return 1;
}
