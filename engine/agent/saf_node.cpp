// The forwarding members of CSafNode: each passes the notification on to the
// attached UI node, if any.
#include "harvion/saf_node.h"

#include "harvion/ui_node.h"

void CSafNode::Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result, char* url,
                      unsigned long insertPos) {
  if (m_pUINode) m_pUINode->Attach(loadInfo, scheduleInfo, result, url, insertPos);
}

void CSafNode::ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                        char* url) {
  if (m_pUINode) m_pUINode->ReAttach(loadInfo, scheduleInfo, result, url);
}

void CSafNode::SerializeUi(CArchive& ar, unsigned long version) {
  if (m_pUINode) m_pUINode->SerializeUi(ar, version);
}

void CSafNode::Started() {
  if (m_pUINode) m_pUINode->Started();
}

void CSafNode::Queued() {
  if (m_pUINode) m_pUINode->Queued();
}

void CSafNode::Reload() {
  if (m_pUINode) m_pUINode->Reload();
}

void CSafNode::Reset() {
  if (m_pUINode) m_pUINode->Reset();
}

void CSafNode::Loaded(_httpRetrieveResult* result) {
  if (m_pUINode) m_pUINode->Loaded(result);
}

void CSafNode::Refresh() {
  if (m_pUINode) m_pUINode->Refresh();
}

void CSafNode::SubtreeLoaded() {
  if (m_pUINode) m_pUINode->SubtreeLoaded();
}

void CSafNode::Moved() {
  if (m_pUINode) m_pUINode->Moved();
}

void CSafNode::NameChanged() {
  if (m_pUINode) m_pUINode->NameChanged();
}
