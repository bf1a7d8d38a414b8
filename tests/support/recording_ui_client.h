// A user interface for tests: keeps a mirror of the engine's tree and a log
// of every call the engine makes. During a run the engine calls from its
// worker threads: every record is made under one lock, and the wait members
// let a test wait for an entry.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "harvion/harvion.h"

class RecordingUIClient;

class RecordingUINode : public CUINode {
 public:
  RecordingUINode(RecordingUIClient* client, std::string label) : m_client(client), m_label(std::move(label)) {}

  void Detach() override;
  void Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result, char* url,
              unsigned long insertPos) override;
  void ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                char* url) override;
  void SerializeUi(CArchive&, unsigned long) override {}
  void Started() override { Log("Started"); }
  void Queued() override { Log("Queued"); }
  void Reload() override { Log("Reload"); }
  void Reset() override { Log("Reset"); }
  void Loaded(_httpRetrieveResult*) override { Log("Loaded"); }
  void Refresh() override { Log("Refresh"); }
  void SubtreeLoaded() override { Log("SubtreeLoaded"); }
  void Moved() override { Log("Moved"); }
  void NameChanged() override { Log("NameChanged"); }

  unsigned long m_loadInfo = 0;
  unsigned long m_scheduleInfo = 0;
  std::string m_url;

 private:
  void Log(const std::string& what);
  // The node's name as the engine reports it now.
  std::string Name() const;

  RecordingUIClient* m_client;
  std::string m_label;
};

class RecordingUIClient : public CUIClient {
 public:
  RecordingUIClient();
  ~RecordingUIClient() override;

  CUINode* CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long insertPos, CArchive* ar,
                        unsigned long version) override;
  HWND GetBrowserWnd() override { return m_window; }
  HWND GetMainWnd() override { return m_window; }
  void ServerProgress(serverType type, serverProgress progress) override;

  // A copy of the log, taken under the lock, for reading while a run goes on.
  std::vector<std::string> LogCopy() const;
  // How often the entry was logged.
  int CountLog(const std::string& entry) const;
  // Until the entry was logged count times; false when the limit passed first.
  bool WaitForLog(const std::string& entry, int count, std::chrono::milliseconds limit) const;
  // Until done holds for the log (called under the lock); false when the limit passed first.
  bool WaitUntil(const std::function<bool(const std::vector<std::string>&)>& done,
                 std::chrono::milliseconds limit) const;

  // Entries like "Attach News", "Detach News", "Create kind=67 parent=Demo".
  std::vector<std::string> m_log;
  int m_liveNodes = 0;
  std::vector<unsigned long> m_versions;  // version passed with each archive
  std::vector<std::pair<WPARAM, LPARAM>> m_statistics;
  std::vector<UINT> m_messages;  // every message posted to the main window
  bool m_refuseNodes = false;  // CreateUINode answers null

 private:
  friend class RecordingUINode;
  void Record(const std::string& entry);

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_logged;
  HWND m_window;
};
