#include "headless_ui_client.h"

#include <algorithm>

#include "harvion/saf_node.h"
#include "ui_tree_node.h"

namespace harvion {

HeadlessUIClient::~HeadlessUIClient() {
  // The engine should have detached everything; whatever it still holds must
  // not reach back into a client that is gone.
  for (UITreeNode* root : m_roots) root->ForgetClient();
}

CUINode* HeadlessUIClient::CreateUINode(CSafNode*, CSafNode* parent, int kind, unsigned long, CArchive*,
                                        unsigned long) {
  switch (kind & kNodeKindMask) {
    case kNodeKindPage:
    case kNodeKindAgent:
    case kNodeKindFolder:
    case kNodeKindSearchFolder:
      break;
    default:
      return nullptr;
  }
  UITreeNode* parentItem = parent ? dynamic_cast<UITreeNode*>(parent->m_pUINode) : nullptr;
  return new UITreeNode(this, parentItem, kind);  // freed by its Detach
}

void HeadlessUIClient::ServerProgress(serverType, serverProgress progress) {
  m_lastProgress.store(static_cast<int>(progress));
}

UITreeNode* HeadlessUIClient::Agent() const {
  for (UITreeNode* root : m_roots)
    if (root->NodeClass() == kNodeKindAgent) return root;
  return nullptr;
}

void HeadlessUIClient::AddRoot(UITreeNode* node) { m_roots.push_back(node); }

void HeadlessUIClient::RemoveRoot(UITreeNode* node) {
  m_roots.erase(std::remove(m_roots.begin(), m_roots.end(), node), m_roots.end());
}

}  // namespace harvion
