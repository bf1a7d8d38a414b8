// The user-interface nodes: one for each engine node the tree shows. The
// engine calls them on whatever thread it works on; they copy what the call
// says and hand it to the tree on the Qt thread through the bridge.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <string>

#include "harvion/ui_node.h"

namespace hvui {

class NodeBridge;

// What the tree needs to show a node, copied on the engine's thread.
struct ItemFacts {
  std::uint64_t id = 0;
  std::uint64_t parentId = 0;  // 0: a top-level item
  int kind = 0;                // class in the low four bits, then the flags
  QString text;
  unsigned long loadInfo = 0;
  unsigned long scheduleInfo = 0;
  _httpRetrieveResult result{};
  QString outcome;  // a page: how its last load came out; empty before any
  unsigned long insertPos = 0;
};

// Engine text as the user reads it: UTF-8 when it is, else Latin-1.
QString EngineText(const char* text);

// A text item of the node (itemName, itemUrl, itemLocalFile) as bytes;
// empty when it has none.
std::string NodeData(CSafNode& node, int item);

class CTreeItemNode : public CUINode {
 public:
  CTreeItemNode(NodeBridge& bridge, CSafNode* node);
  ~CTreeItemNode() override = default;

  std::uint64_t Id() const { return m_id; }
  // The class (low four bits of the kind).
  int NodeClass() const { return m_nKind & kNodeKindMask; }

  void Detach() override;
  void Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result, char* url,
              unsigned long insertPos) override;
  void ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                char* url) override;
  void SerializeUi(CArchive&, unsigned long) override {}
  void Started() override {}
  void Queued() override;
  void Reload() override { m_reload = true; }
  void Reset() override {}
  void Loaded(_httpRetrieveResult* result) override;
  void Refresh() override;
  void SubtreeLoaded() override {}
  void Moved() override {}
  void NameChanged() override;

 protected:
  ItemFacts Facts(unsigned long loadInfo, unsigned long scheduleInfo, const _httpRetrieveResult* result,
                  const char* url, unsigned long insertPos) const;
  // The item's text: the node's name, else the address passed.
  QString Text(const char* url) const;
  // A page's last load in words; empty for other nodes.
  QString Outcome() const;

  NodeBridge& m_bridge;
  const std::uint64_t m_id;
  std::atomic<bool> m_reload{false};
};

class CPageItemNode final : public CTreeItemNode {
 public:
  using CTreeItemNode::CTreeItemNode;
  void ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                char* url) override;
  void Started() override;
  void Reset() override;
  void Loaded(_httpRetrieveResult* result) override;
};

class CAgentItemNode final : public CTreeItemNode {
 public:
  using CTreeItemNode::CTreeItemNode;
};

class CFolderItemNode final : public CTreeItemNode {
 public:
  using CTreeItemNode::CTreeItemNode;
};

class CSearchItemNode final : public CTreeItemNode {
 public:
  using CTreeItemNode::CTreeItemNode;
};

// The node for the kind's class; null for an unknown class.
CTreeItemNode* MakeTreeItemNode(NodeBridge& bridge, CSafNode* node, int kind);

}  // namespace hvui
