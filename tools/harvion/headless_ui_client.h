// The engine's user interface for a program without windows: it keeps the
// agent tree in memory, counts posted messages and remembers server progress.
#pragma once

#include <atomic>
#include <vector>

#include "harvion/ui_client.h"
#include "message_window.h"

namespace harvion {

class UITreeNode;

class HeadlessUIClient final : public CUIClient {
 public:
  // No run has reported progress yet.
  static constexpr int kNoProgress = -1;

  HeadlessUIClient() = default;
  ~HeadlessUIClient() override;
  HeadlessUIClient(const HeadlessUIClient&) = delete;
  HeadlessUIClient& operator=(const HeadlessUIClient&) = delete;

  CUINode* CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long insertPos, CArchive* ar,
                        unsigned long version) override;
  // There is no browser: the engine's dialogs and messages go to our window.
  HWND GetBrowserWnd() override { return m_window.Handle(); }
  HWND GetMainWnd() override { return m_window.Handle(); }
  void ServerProgress(serverType type, serverProgress progress) override;

  // Items without a parent item; normally just the open agent.
  const std::vector<UITreeNode*>& Roots() const { return m_roots; }
  // The open agent's item, or null when no agent is open.
  UITreeNode* Agent() const;
  int LastProgress() const { return m_lastProgress.load(); }
  unsigned MessagesReceived() const { return m_window.Received(); }

  // Kept up to date by the nodes themselves.
  void AddRoot(UITreeNode* node);
  void RemoveRoot(UITreeNode* node);

 private:
  std::vector<UITreeNode*> m_roots;
  std::atomic<int> m_lastProgress{kNoProgress};
  MessageWindow m_window;
};

}  // namespace harvion
