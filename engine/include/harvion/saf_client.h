// The engine's exported interface. One instance exists (GetSafClient); its
// statics work on the one agent that is open, the current agent. No exception
// ever leaves these functions: failure is a null, 0 or -1 result.
#pragma once

#include <cstddef>

#include "harvion/types.h"
#include "harvion/ui_client.h"

class CSafNode;

// Holds the engine's lock. While one exists no retrieval thread changes the
// agent's tree, so a desktop program can check that a node it shows is still
// attached and call it in safety. Never hold it across HTTPShutdown or while
// waiting for a run: the retrieval threads need it to finish.
class HV_EXPORT CEngineLock {
 public:
  CEngineLock();
  ~CEngineLock();
  CEngineLock(const CEngineLock&) = delete;
  CEngineLock& operator=(const CEngineLock&) = delete;
};

class HV_EXPORT CSafClient {
 public:
  CSafClient() = default;
  CSafClient(const CSafClient&) = default;
  CSafClient& operator=(const CSafClient&) = default;
  virtual ~CSafClient();

  static CSafClient* GetSafClient();

  // Stores the interface; must precede every call that creates nodes.
  void Connect(CUIClient* client);

  // Forwarded to the connected client (null / nothing when none).
  CUINode* CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long insertPos, CArchive* ar,
                        unsigned long version);
  HWND GetMainWnd();
  HWND GetBrowserWnd();
  // The engine acts on start and end of a run before forwarding.
  void ServerProgress(CUIClient::serverType type, CUIClient::serverProgress progress);

  // Agents.
  static CSafNode* CreateAgent(const char* name);
  static int LoadAgentFile(const char* name, int noFallback);
  static void SaveAgentFile();
  static void DeleteAgent();
  static void DeleteAgentFile();
  static int DoesAgentExist(const char* name);
  static int IsAgentMissing(const char* name);
  static HGLOBAL CreateNewAgentName(const char* baseName);
  static CSafNode* FindAgent(const char* path, const char* scheduleName);

  // Tree items.
  static CSafNode* CreateHTMLNode(CSafNode* parent, const char* name, const char* url, unsigned long insertPos);
  static CSafNode* CreateCategoryNode(CSafNode* parent, const char* name, unsigned long insertPos);
  // A search folder for the text with one location per search engine.
  static CSafNode* CreateSearchCategoryNode(CSafNode* parent, const char* searchText, unsigned long insertPos);
  static void TransferNode(CSafNode* node, CSafNode* newParent);
  // Adds a web location under node for every http link of the local HTML
  // file (a browser's bookmark file, say), named by the link's text or else
  // its address. The number made; -1, after telling the user, when the file
  // cannot be opened.
  static int ImportLocalFile(CSafNode* node, const char* path);

  // Writes the stored page at path (an absolute path whose file name is its
  // local file name) anew when pages it links to were stored or dropped
  // since. Not while a run is going on.
  static void Reparse(const char* path);

  // Strategy lists of the current agent as packed lists; null when empty.
  static HGLOBAL GetFileTypeList();
  static HGLOBAL GetConstraintList();
  // The names of the schedule list in list order, each followed by a zero
  // byte, then one more zero byte; null when the list is empty. The caller
  // frees the block. A node's schedule index is a position in it.
  static HGLOBAL GetScheduleList();
  // The Startup Agent's page file.
  static HGLOBAL GetEmptyFileName();
  // Writes the current agent's frameset page (the Startup Agent's when none
  // is open) showing the address beside the agent, replacing the earlier
  // one, and copies its path into path (empty on failure). 1 on success.
  static int CreateFrameSet(const char* address, char* path, int size);

  // loadDetail, linkType, levels, file-type index, location index, inherit
  // flag, effective levels.
  static unsigned long PackLoadInfo(int loadDetail, int linkType, int levels, int fileTypeIndex, int locationIndex,
                                    int inherit, int effectiveLevels);
  static unsigned long PackScheduleInfo(int scheduleIndex, int inherit);

  // Whether the second URL is on the first one's server, in its site (the
  // last two labels of the host, three under a country domain), or in its
  // directory or below it. 1 or 0.
  static int SameServer(const char* first, const char* second);
  static int SameSite(const char* first, const char* second);
  static int SameDirectory(const char* first, const char* second);

  // The cache of the current agent: write its index; drop every record no
  // item uses; delete everything retrieved and start an empty index (not
  // while a run is going on).
  static void SaveCache();
  // Stops the run going on: queued pages are dropped, pages being received
  // end as interrupted; the run then reports spStopping and spFinished.
  static void HTTPShutdown();
  // For a scheduled run: agent files and agent folders are read from these
  // folders instead of the settings' for the rest of the process, and
  // nobody is asked for anything (credentials missing or refused end the
  // page's load). Folders that are not absolute paths are ignored.
  static void SetUnattended(const char* agentFiles, const char* agentFolders);
  static void GarbageCollect();
  static void ClearCache();

  // The engine's dialogs, when a module draws them (SetEngineDialogs): the
  // settings sheet, and the file-type, location and schedule lists with an
  // entry selected first, answering the entry selected on OK, -1 on Cancel.
  static void Settings();
  static int FileTypes(int selected);
  static int Constraints(int selected);
  static int Schedules(int selected);

  // The proxy server (copied only when shorter than size), its port and
  // whether requests go through it; 0 when the name does not fit.
  static int GetProxy(int* useProxy, char* host, int size, int* port);

  CUIClient* m_pUIClient = nullptr;
};
