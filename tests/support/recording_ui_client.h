// A user interface for tests: keeps a mirror of the engine's tree and a log
// of every call the engine makes.
#pragma once

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

  // Entries like "Attach News", "Detach News", "Create kind=67 parent=Demo".
  std::vector<std::string> m_log;
  int m_liveNodes = 0;
  std::vector<unsigned long> m_versions;  // version passed with each archive
  std::vector<std::pair<WPARAM, LPARAM>> m_statistics;
  std::vector<UINT> m_messages;  // every message posted to the main window
  bool m_refuseNodes = false;  // CreateUINode answers null

 private:
  HWND m_window;
};
