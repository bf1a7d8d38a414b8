#include "ui_tree_node.h"

#include "harvion/saf_node.h"
#include "headless_ui_client.h"

namespace harvion {

UITreeNode::UITreeNode(HeadlessUIClient* client, UITreeNode* parent, int kind) : m_client(client) {
  m_nKind = kind;
  LinkUnder(parent);
}

void UITreeNode::Detach() {
  Unlink();
  // The engine detaches children first; anything left must not point at us.
  for (UITreeNode* child : m_children) child->LinkUnder(nullptr);
  delete this;  // the UI frees its nodes in Detach: that is the contract
}

void UITreeNode::Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                        char* url, unsigned long) {
  Record(loadInfo, scheduleInfo, result, url);
}

void UITreeNode::ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                          char* url) {
  Record(loadInfo, scheduleInfo, result, url);
  Relink();
}

void UITreeNode::Loaded(_httpRetrieveResult* result) {
  if (result) m_result = *result;
}

void UITreeNode::Moved() { Relink(); }

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
