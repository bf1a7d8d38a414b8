#include "shell/tree_item_node.h"

#include <QUtf8StringView>
#include <cstring>
#include <string>

#include "harvion/saf_node.h"
#include "shell/agent_tree_view.h"
#include "shell/node_bridge.h"
#include "shell/page_outcome.h"
#include "shell/tree_images.h"

namespace hvui {

namespace {

std::uint64_t IdOf(const CSafNode* node) {
  const auto* ui = node ? dynamic_cast<const CTreeItemNode*>(node->m_pUINode) : nullptr;
  return ui ? ui->Id() : 0;
}

}  // namespace

std::string NodeData(CSafNode& node, int item) {
  // The text may change between asking for its size and copying it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int size = node.GetData(item, nullptr, 0);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    if (node.GetData(item, text.data(), size) == size) {
      text.resize(std::strlen(text.c_str()));
      return text;
    }
  }
  return {};
}

QString EngineText(const char* text) {
  if (!text) return {};
  const QByteArray bytes(text);
  if (QUtf8StringView(bytes).isValidUtf8()) return QString::fromUtf8(bytes);
  return QString::fromLatin1(bytes);
}

CTreeItemNode::CTreeItemNode(NodeBridge& bridge, CSafNode* node) : m_bridge(bridge), m_id(bridge.Add(node)) {}

QString CTreeItemNode::Text(const char* url) const {
  const std::string name = m_pNode ? NodeData(*m_pNode, itemName) : std::string();
  return name.empty() ? EngineText(url) : EngineText(name.c_str());
}

QString CTreeItemNode::Outcome() const {
  if (!m_pNode || NodeClass() != kNodeKindPage) return {};
  return PageOutcome(NodeData(*m_pNode, itemUrl));
}

ItemFacts CTreeItemNode::Facts(unsigned long loadInfo, unsigned long scheduleInfo,
                               const _httpRetrieveResult* result, const char* url, unsigned long insertPos) const {
  ItemFacts facts;
  facts.id = m_id;
  facts.parentId = IdOf(m_pParentNode);
  facts.kind = m_nKind;
  facts.text = Text(url);
  facts.loadInfo = loadInfo;
  facts.scheduleInfo = scheduleInfo;
  if (result) facts.result = *result;
  facts.outcome = Outcome();
  facts.insertPos = insertPos;
  return facts;
}

void CTreeItemNode::Detach() {
  const std::uint64_t id = m_id;
  m_bridge.Remove(id);
  m_bridge.Post([id](CAgentTreeView& view) { view.OnDetach(id); });
  delete this;  // the interface frees its nodes when they are detached
}

void CTreeItemNode::Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                           char* url, unsigned long insertPos) {
  m_bridge.Post([facts = Facts(loadInfo, scheduleInfo, result, url, insertPos)](CAgentTreeView& view) {
    view.OnAttach(facts);
  });
}

void CTreeItemNode::ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                             char* url) {
  m_bridge.Post([facts = Facts(loadInfo, scheduleInfo, result, url, 0)](CAgentTreeView& view) {
    view.OnReAttach(facts, false);
  });
}

void CTreeItemNode::Queued() {
  // A page asked for again (reloaded) is still one page.
  if (m_reload.exchange(false)) return;
  m_bridge.Post([](CAgentTreeView& view) { view.OnProgress(0, 1); });
}

void CTreeItemNode::Loaded(_httpRetrieveResult*) {
  m_bridge.Post([](CAgentTreeView& view) { view.OnProgress(1, 0); });
}

void CTreeItemNode::Refresh() {
  const std::uint64_t id = m_id;
  m_bridge.Post([id](CAgentTreeView& view) { view.OnRefresh(id); });
}

void CTreeItemNode::NameChanged() {
  m_bridge.Post([id = m_id, text = Text(nullptr)](CAgentTreeView& view) { view.OnText(id, text); });
}

void CPageItemNode::ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult* result,
                             char* url) {
  m_bridge.Post([facts = Facts(loadInfo, scheduleInfo, result, url, 0)](CAgentTreeView& view) {
    view.OnReAttach(facts, true);
  });
}

void CPageItemNode::Started() {
  m_bridge.Post([id = m_id](CAgentTreeView& view) { view.OnImage(id, kImagePageLoading); });
}

void CPageItemNode::Reset() {
  m_bridge.Post([id = m_id](CAgentTreeView& view) { view.OnImage(id, kImagePageNever); });
}

void CPageItemNode::Loaded(_httpRetrieveResult* result) {
  const int image = result ? PageStateImage(*result) : kImagePageNever;
  m_bridge.Post([id = m_id, image, outcome = Outcome()](CAgentTreeView& view) {
    view.OnProgress(1, 0);
    view.OnLoaded(id, image, outcome);
  });
}

CTreeItemNode* MakeTreeItemNode(NodeBridge& bridge, CSafNode* node, int kind) {
  CTreeItemNode* made = nullptr;
  switch (kind & kNodeKindMask) {
    case kNodeKindPage:
      made = new CPageItemNode(bridge, node);
      break;
    case kNodeKindAgent:
      made = new CAgentItemNode(bridge, node);
      break;
    case kNodeKindFolder:
      made = new CFolderItemNode(bridge, node);
      break;
    case kNodeKindSearchFolder:
      made = new CSearchItemNode(bridge, node);
      break;
    default:
      return nullptr;
  }
  made->m_nKind = kind;
  return made;
}

}  // namespace hvui
