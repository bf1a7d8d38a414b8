#include "ui_tree_node.h"

#include "harvion/saf_node.h"
#include "headless_ui_client.h"

namespace harvion {

std::mutex& HeadlessTreeMutex() {
  static std::mutex mutex;
  return mutex;
}

UITreeNode::UITreeNode(HeadlessUIClient* client, UITreeNode* parent, int kind) : m_client(client) {
  m_nKind = kind;
  const std::lock_guard lock(HeadlessTreeMutex());
  LinkUnder(parent);
}

void UITreeNode::Detach() {
  {
    const std::lock_guard lock(HeadlessTreeMutex());
    Unlink();
    // The engine detaches children first; anything left must not point at us.
    for (UITreeNode* child : m_children) child->LinkUnder(nullptr);
  }
  delete this;  // the UI frees its nodes in Detach: that is the contract
}

void UITreeNode::Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                        char* url, unsigned long) {
  const std::lock_guard lock(HeadlessTreeMutex());
  Record(loadInfo, scheduleInfo, result, url);
}

void UITreeNode::ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                          char* url) {
  const std::lock_guard lock(HeadlessTreeMutex());
  Record(loadInfo, scheduleInfo, result, url);
  Relink();
}

// Only pages count in a run's progress: the agent and its folders report
// Queued, Started and Loaded too, but fetch nothing. A page asked for again
// (after a 401 or a redirection) counts once, and so does its end.
void UITreeNode::Queued() {
  HeadlessUIClient* client;
  {
    const std::lock_guard lock(HeadlessTreeMutex());
    if (NodeClass() != kNodeKindPage || m_queued) return;
    m_queued = true;
    client = m_client;
  }
  if (client) client->PageQueued();
}

void UITreeNode::Started() {
  HeadlessUIClient* client;
  std::string url;
  {
    const std::lock_guard lock(HeadlessTreeMutex());
    if (NodeClass() != kNodeKindPage) return;
    client = m_client;
    url = m_url;
  }
  if (client) client->PageStarted(url);
}

void UITreeNode::Loaded(_httpRetrieveResult* result) {
  HeadlessUIClient* client;
  std::string url;
  _httpRetrieveResult copy;
  {
    const std::lock_guard lock(HeadlessTreeMutex());
    if (result) m_result = *result;
    // A page that was never asked for (its copy was current) is no progress.
    if (NodeClass() != kNodeKindPage || !m_queued || m_loaded) return;
    m_loaded = true;
    client = m_client;
    url = m_url;
    copy = m_result;
  }
  if (client) client->PageLoaded(url, copy);
}

void UITreeNode::Moved() {
  const std::lock_guard lock(HeadlessTreeMutex());
  Relink();
}

void UITreeNode::ForgetClient() {
  m_client = nullptr;
  for (UITreeNode* child : m_children) child->ForgetClient();
}

void UITreeNode::Record(unsigned long loadInfo, unsigned long scheduleInfo, const _httpRetrieveResult* result,
                        const char* url) {
  m_loadInfo = loadInfo;
  m_scheduleInfo = scheduleInfo;
  if (result) m_result = *result;
  m_url = url ? url : "";
}

void UITreeNode::Relink() {
  UITreeNode* wanted = nullptr;
  if (m_pParentNode) wanted = dynamic_cast<UITreeNode*>(m_pParentNode->m_pUINode);
  if (wanted == m_parent) return;
  Unlink();
  LinkUnder(wanted);
}

void UITreeNode::Unlink() {
  if (m_parent)
    m_parent->m_children.erase(m_place);
  else if (m_client)
    m_client->RemoveRoot(this);
  m_parent = nullptr;
}

void UITreeNode::LinkUnder(UITreeNode* parent) {
  m_parent = parent;
  if (parent)
    m_place = parent->m_children.insert(parent->m_children.end(), this);
  else if (m_client)
    m_client->AddRoot(this);
}

}  // namespace harvion
