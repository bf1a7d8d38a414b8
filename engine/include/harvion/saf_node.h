// The engine's handle of one tree item. The user interface reads and changes
// the item only through these operations; the engine notifies the interface
// through the forwarding members, which call the attached CUINode.
#pragma once

#include "harvion/http_retrieve_result.h"
#include "harvion/types.h"

class CArchive;
class CUINode;

// Item codes of GetData and SetData.
enum : int {
  itemUrl = 1,
  itemLocalFile = 2,
  itemName = 3,
  itemRecord = 4,
  itemResult = 5,
  itemFailure = 6,  // a page: why its last load failed; none while an answer stands
};

// Item codes of GetValue and SetValue.
enum : int {
  itemUserItem = 2,
  itemKindFlags = 3,
  itemSchedule = 4,
  itemNextRun = 5,
  itemLoadInfo = 6,
  // CUINode::requisites in force; set only on an item with settings of its
  // own (one that inherits follows its parent's choice).
  itemRequisites = 7,
};

class HV_EXPORT CSafNode {
 public:
  CSafNode() = default;
  CSafNode(const CSafNode&) = default;
  CSafNode& operator=(const CSafNode&) = default;

  // Copies the item into the buffer when it fits; returns the size needed
  // including the terminating zero, 0 when the node has no such item.
  virtual int GetData(int item, void* buffer, int size) = 0;
  virtual unsigned long GetValue(int item) = 0;
  // The item in a new zero-initialised global block the caller frees; null
  // when the node has no such item.
  virtual HGLOBAL GetDataHandle(int item) = 0;
  // 1 when taken, 0 otherwise. The third argument is not used.
  virtual int SetData(int item, const void* data, unsigned long unused) = 0;
  virtual int SetValue(int item, unsigned long value) = 0;
  // 1 when retrieval started, 0 when the retrieval server could not start.
  virtual int Run() = 0;
  // Deletes the item with its subtree; a non-zero flag on a retrieved page
  // first excludes its address from the location strategy in force.
  virtual void Remove(int exclude) = 0;
  // Detaches the UI node, then frees this node.
  virtual void Release() = 0;

  // Notifications, forwarded to m_pUINode when there is one.
  void Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result, char* url,
              unsigned long insertPos);
  void ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result, char* url);
  void SerializeUi(CArchive& ar, unsigned long version);
  void Started();
  void Queued();
  void Reload();
  void Reset();
  void Loaded(_httpRetrieveResult* result);
  void Refresh();
  void SubtreeLoaded();
  void Moved();
  void NameChanged();

  CUINode* m_pUINode = nullptr;

 protected:
  // Nodes are freed by Release, never by their callers.
  ~CSafNode() = default;
};
