#include "headless_ui_client.h"

#include <algorithm>

#include "harvion/messages.h"
#include "harvion/saf_node.h"
#include "ui_tree_node.h"

namespace harvion {

HeadlessUIClient::HeadlessUIClient()
    : m_window([this](UINT message, WPARAM wParam, LPARAM lParam) { OnMessage(message, wParam, lParam); }) {}

HeadlessUIClient::~HeadlessUIClient() {
  // The engine should have detached everything; whatever it still holds must
  // not reach back into a client that is gone.
  const std::lock_guard lock(HeadlessTreeMutex());
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
  const std::lock_guard lock(m_observerMutex);
  if (m_observer) m_observer->ServerProgress(progress);
}

void HeadlessUIClient::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_HV_STATISTICS) return;
  m_folderBytes.store(static_cast<unsigned long>(lParam));
  const std::lock_guard lock(m_observerMutex);
  if (m_observer) m_observer->Statistics(static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam));
}

void HeadlessUIClient::SetRunObserver(RunObserver* observer) {
  const std::lock_guard lock(m_observerMutex);
  m_observer = observer;
}

void HeadlessUIClient::PageQueued() {
  const std::lock_guard lock(m_observerMutex);
  if (m_observer) m_observer->PageQueued();
}

void HeadlessUIClient::PageStarted(const std::string& url) {
  const std::lock_guard lock(m_observerMutex);
  if (m_observer) m_observer->PageStarted(url);
}

void HeadlessUIClient::PageLoaded(const std::string& url, const _httpRetrieveResult& result) {
  const std::lock_guard lock(m_observerMutex);
  if (m_observer) m_observer->PageLoaded(url, result);
}

UITreeNode* HeadlessUIClient::Agent() const {
  const std::lock_guard lock(HeadlessTreeMutex());
  for (UITreeNode* root : m_roots)
    if (root->NodeClass() == kNodeKindAgent) return root;
  return nullptr;
}

void HeadlessUIClient::AddRoot(UITreeNode* node) { m_roots.push_back(node); }

void HeadlessUIClient::RemoveRoot(UITreeNode* node) {
  m_roots.erase(std::remove(m_roots.begin(), m_roots.end(), node), m_roots.end());
}

}  // namespace harvion
