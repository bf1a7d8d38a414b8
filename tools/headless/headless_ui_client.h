// The engine's user interface for a program without windows: it keeps the
// agent tree in memory, counts posted messages and remembers server progress.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "harvion/http_retrieve_result.h"
#include "harvion/ui_client.h"
#include "message_window.h"

namespace harvion {

class UITreeNode;

// What a run tells the command that started it. Called on the engine's
// worker threads, with copies only: an observer never reaches into the engine.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void PageQueued() = 0;
  virtual void PageStarted(const std::string& url) = 0;
  virtual void PageLoaded(const std::string& url, const _httpRetrieveResult& result) = 0;
  // The agent folder's files and bytes, as the engine last counted them.
  virtual void Statistics(unsigned long files, unsigned long bytes) = 0;
  virtual void ServerProgress(CUIClient::serverProgress progress) = 0;
};

class HeadlessUIClient final : public CUIClient {
 public:
  // No run has reported progress yet.
  static constexpr int kNoProgress = -1;

  HeadlessUIClient();
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
  // The agent folder's size in bytes as the engine last posted it; 0 before.
  unsigned long FolderBytes() const { return m_folderBytes.load(); }

  // Kept up to date by the nodes themselves, under the tree's lock.
  void AddRoot(UITreeNode* node);
  void RemoveRoot(UITreeNode* node);

  // Null stops the reports; once this returns, the old observer is called no more.
  void SetRunObserver(RunObserver* observer);
  // Forwards to the observer, if any; from any thread.
  void PageQueued();
  void PageStarted(const std::string& url);
  void PageLoaded(const std::string& url, const _httpRetrieveResult& result);

 private:
  void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  std::vector<UITreeNode*> m_roots;
  std::atomic<int> m_lastProgress{kNoProgress};
  std::atomic<unsigned long> m_folderBytes{0};
  std::mutex m_observerMutex;
  RunObserver* m_observer = nullptr;
  // Last: its handler may run as soon as it exists.
  MessageWindow m_window;
};

}  // namespace harvion
