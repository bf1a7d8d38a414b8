// The user interface as one object: creates tree items and receives server
// progress. Implemented by every front end.
#pragma once

#include "harvion/object.h"

class CSafNode;
class CUINode;

class HV_EXPORT CUIClient : public CObject {
 public:
  enum serverType { stHttp = 1 };
  enum serverProgress { spStarted = 0, spStopping = 1, spFinished = 2, spInterrupted = 3 };

  // A new UI node for the engine node, or null for none. The archive is
  // non-null only while an agent file is read; version is then the file's.
  virtual CUINode* CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long insertPos,
                                CArchive* ar, unsigned long version) = 0;
  // The browser's window if it still exists, else the main window.
  virtual HWND GetBrowserWnd() = 0;
  // The window that receives the engine's posted messages.
  virtual HWND GetMainWnd() = 0;
  virtual void ServerProgress(serverType type, serverProgress progress) = 0;
};
