// The user interface's side of one tree item. The interface allocates it in
// CUIClient::CreateUINode and frees it in Detach; the engine only calls it.
#pragma once

#include "harvion/http_retrieve_result.h"
#include "harvion/object.h"

class CSafNode;

class HV_EXPORT CUINode : public CObject {
 public:
  // File-type strategy (2 bits); also the indexes of the built-in file-type entries.
  enum loadDetail { ldSiteMap = 0, ldTextOnly = 1, ldTextAndGraphics = 2, ldAllFiles = 3 };
  // Location strategy (3 bits); also the indexes of the built-in location entries.
  enum linkType {
    ltUnrestricted = 0,
    ltWithinSite = 1,
    ltWithinDirectory = 2,
    ltOutsideSite = 3,
    ltInsideServer = 4
  };
  // Where the stylesheets, scripts, fonts and images a stored page needs may
  // come from (itemRequisites): the servers the location strategy follows,
  // or any server (content delivery hosts), without following any page
  // links found there.
  enum requisites { rqStrategy = 0, rqAnyServer = 1 };

  // The engine node is going away: remove the tree item and free yourself.
  virtual void Detach() = 0;
  // First report of a new node.
  virtual void Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                      char* url, unsigned long insertPos) = 0;
  // Settings, page or URL changed, or the node moved under a new parent.
  virtual void ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                        char* url) = 0;
  // While the agent file is written the node may store its own state.
  virtual void SerializeUi(CArchive& ar, unsigned long version) = 0;
  virtual void Started() = 0;
  virtual void Queued() = 0;
  virtual void Reload() = 0;
  virtual void Reset() = 0;
  virtual void Loaded(_httpRetrieveResult* result) = 0;
  virtual void Refresh() = 0;
  virtual void SubtreeLoaded() = 0;
  virtual void Moved() = 0;
  virtual void NameChanged() = 0;

  // Written by the engine right after CreateUINode.
  int m_nKind = 0;
  CSafNode* m_pNode = nullptr;
  CSafNode* m_pParentNode = nullptr;
};

// Node kinds: the low four bits give the class, the rest are flags.
constexpr int kNodeKindMask = 0x0F;
constexpr int kNodeKindPage = 1;
constexpr int kNodeKindAgent = 2;
constexpr int kNodeKindFolder = 3;
constexpr int kNodeKindSearchFolder = 4;
constexpr int kNodeFlagEmbedded = 0x20;
constexpr int kNodeFlagUserItem = 0x40;
