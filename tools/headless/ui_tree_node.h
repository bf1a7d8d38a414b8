// One item of the headless agent tree. It mirrors the engine's anchor tree:
// the engine creates it through HeadlessUIClient::CreateUINode and ends it
// with Detach, which frees it. During a run the engine does so on its worker
// threads, so every change to the tree holds HeadlessTreeMutex(); the main
// thread reads the tree only while no run is going on.
#pragma once

#include <list>
#include <mutex>
#include <string>

#include "harvion/ui_node.h"

namespace harvion {

class HeadlessUIClient;

// The one lock of the headless tree: links between items, their recorded
// settings, results and addresses, and the client's list of roots.
std::mutex& HeadlessTreeMutex();

class UITreeNode final : public CUINode {
 public:
  UITreeNode(HeadlessUIClient* client, UITreeNode* parent, int kind);
  UITreeNode(const UITreeNode&) = delete;
  UITreeNode& operator=(const UITreeNode&) = delete;

  void Detach() override;
  void Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result, char* url,
              unsigned long insertPos) override;
  void ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                char* url) override;
  // This interface keeps no state of its own in agent files.
  void SerializeUi(CArchive&, unsigned long) override {}
  void Started() override;
  void Queued() override;
  void Reload() override {}
  void Reset() override {}
  void Loaded(_httpRetrieveResult* result) override;
  void Refresh() override {}
  void SubtreeLoaded() override {}
  void Moved() override;
  void NameChanged() override {}

  int NodeClass() const { return m_nKind & kNodeKindMask; }
  bool IsFolder() const { return NodeClass() == kNodeKindFolder; }
  UITreeNode* Parent() const { return m_parent; }
  // In creation order, which is the engine's display order.
  const std::list<UITreeNode*>& Children() const { return m_children; }
  const std::string& Url() const { return m_url; }
  unsigned long LoadInfo() const { return m_loadInfo; }
  unsigned long ScheduleInfo() const { return m_scheduleInfo; }
  const _httpRetrieveResult& Result() const { return m_result; }

  // Called by the client, under the tree's lock, when it goes away before
  // the engine let go of us.
  void ForgetClient();

 private:
  // Only Detach frees a node.
  ~UITreeNode() override = default;

  void Record(unsigned long loadInfo, unsigned long scheduleInfo, const _httpRetrieveResult* result,
              const char* url);
  // Follows the engine when it moved the anchor under another parent.
  void Relink();
  void Unlink();
  void LinkUnder(UITreeNode* parent);

  HeadlessUIClient* m_client;
  UITreeNode* m_parent = nullptr;
  // A list, and each node knows its place in it: closing an agent detaches
  // every item, and a search for each would make that quadratic.
  std::list<UITreeNode*> m_children;
  std::list<UITreeNode*>::iterator m_place;  // in the parent's children, while there is a parent
  std::string m_url;
  unsigned long m_loadInfo = 0;
  unsigned long m_scheduleInfo = 0;
  _httpRetrieveResult m_result{};
  // Reported to the run's progress already.
  bool m_queued = false;
  bool m_loaded = false;
};

}  // namespace harvion
