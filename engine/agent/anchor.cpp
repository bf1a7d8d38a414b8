#include "engine/agent/anchor.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_load_context.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/html_anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/page_descr.h"
#include "engine/schedule/schedule.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

IMPLEMENT_SERIAL(CAnchor, CObject, 1)

namespace {

constexpr char kPathSeparator = '\x07';

// What every Attach and ReAttach reports, read through the node as the user
// interface would read it.
struct NodeReport {
  unsigned long loadInfo = 0;
  unsigned long scheduleInfo = 0;
  _httpRetrieveResult result{};
  std::string url;

  explicit NodeReport(CSafNode* node) {
    loadInfo = node->GetValue(itemLoadInfo);
    scheduleInfo = node->GetValue(itemSchedule);
    node->GetData(itemResult, &result, sizeof(result));
    int size = node->GetData(itemUrl, nullptr, 0);
    if (size > 0) {
      url.resize(static_cast<std::size_t>(size));
      node->GetData(itemUrl, url.data(), size);
      url.resize(std::strlen(url.c_str()));
    }
  }
};

// Every refusal for depth is the same message, from the same limit.
void ShowTooDeep() {
  std::string text = hv::res::LoadString(hv::res::IDS_TOO_DEEP);
  const std::size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(CAnchor::kMaxDepth));
  DisplayError(text.c_str(), CSafClient::GetSafClient()->GetMainWnd());
}

}  // namespace

CAnchor::CAnchor() = default;

CAnchor::~CAnchor() { DestroyTree(); }

void CAnchor::DestroyTree() {
  // Children first, as DeleteTree would, so UI nodes go bottom-up.
  while (!m_children.empty()) m_children.pop_back();
  ReleaseNode();
}

void CAnchor::ReleaseNode() {
  if (CSafNode* node = m_pNode) {
    m_pNode = nullptr;
    node->Release();
  }
}

void CAnchor::DeleteTree() {
  // The children go first, in display order. They leave the array all at
  // once: taking each out on its own would shift all those after it. Each
  // still knows its parent while it goes, and finds nothing to leave there.
  std::vector<std::unique_ptr<CAnchor>> children = std::move(m_children);
  m_children.clear();
  for (auto& child : children) child.release()->DeleteTree();
  ReleaseNode();
  CAgentManager& manager = CAgentManager::Instance();
  if (manager.Running() == this) manager.SetRunning(nullptr);
  if (m_pParent) m_pParent->RemoveChild(this);  // hands this anchor back to itself
  delete this;
}

CAgentAnchor* CAnchor::GetAgent() {
  CAnchor* a = this;
  while (a->m_pParent) a = a->m_pParent;
  return a->IsKindOf(RUNTIME_CLASS(CAgentAnchor)) ? static_cast<CAgentAnchor*>(a) : nullptr;
}

void CAnchor::MarkAgentModified() {
  if (CAgentAnchor* agent = GetAgent()) agent->m_bModified = 1;
}

void CAnchor::NotifyNameChanged() {
  if (m_pNode) m_pNode->NameChanged();
}

// ---- run state -------------------------------------------------------------

int CAnchor::IsUnderLocation() {
  CAnchor* running = CAgentManager::Instance().Running();
  if (!running || running == this) return 0;
  return m_pParent ? m_pParent->IsUnderLocation() : 0;
}

int CAnchor::IsRunLocationRoot() {
  CAnchor* running = CAgentManager::Instance().Running();
  if (!running || running == this) return 1;
  return m_pParent ? m_pParent->IsRunLocationRoot() : 1;
}

int CAnchor::SameServerAsLocation(const std::string& url) {
  return m_pParent ? m_pParent->SameServerAsLocation(url) : 0;
}

int CAnchor::SameSiteAsLocation(const std::string& url) {
  return m_pParent ? m_pParent->SameSiteAsLocation(url) : 0;
}

int CAnchor::SameDirectoryAsLocation(const std::string& url) {
  return m_pParent ? m_pParent->SameDirectoryAsLocation(url) : 0;
}

int CAnchor::Run() {
  CAgentManager::Instance().SetRunning(this);
  return 1;
}

void CAnchor::Queue() {
  m_bOwnPagePending = 1;
  m_nChildrenLoaded = 0;
  m_nSubtreesDone = 0;
  m_bLoadedInRun = 0;
}

void CAnchor::OnLoaded(int) {
  m_bLoadedInRun = 1;
  m_bOwnPagePending = 0;
  if (m_pNode) {
    _httpRetrieveResult result{};
    FillResult(result);
    m_pNode->Loaded(&result);
  }
  const bool running = CAgentManager::Instance().Running() == this;
  if (m_pParent && !running) m_pParent->OnChildLoaded(this);
  if (m_nSubtreesDone >= GetChildCount()) {
    if (m_pNode) m_pNode->SubtreeLoaded();
    if (m_pParent && !running) m_pParent->OnSubtreeProgress();
  }
}

void CAnchor::EndWithoutWork() {
  m_bOwnPagePending = 0;
  m_nChildrenLoaded = m_nSubtreesDone = static_cast<std::int16_t>(GetChildCount());
  const bool running = CAgentManager::Instance().Running() == this;
  if (running && m_pNode) m_pNode->SubtreeLoaded();
  if (m_pParent && !running) {
    m_pParent->OnChildLoaded(this);
    m_pParent->OnSubtreeProgress();
  }
}

void CAnchor::OnChildLoaded(CAnchor*) { ++m_nChildrenLoaded; }

void CAnchor::OnSubtreeProgress() {
  ++m_nSubtreesDone;
  if (!m_bOwnPagePending && m_nSubtreesDone >= GetChildCount()) {
    if (m_pNode) m_pNode->SubtreeLoaded();
    if (m_pParent && CAgentManager::Instance().Running() != this) m_pParent->OnSubtreeProgress();
  }
}

// ---- settings ----------------------------------------------------------------

hv::LoadSettings CAnchor::EffectiveSettings() {
  hv::LoadSettings s;
  if (m_bUseParentSettings && m_pParent) {
    s = m_pParent->EffectiveSettings();
    if (!m_bNoLevelCost) s.effectiveLevels -= m_pParent->LevelCost();
    s.inherit = 1;
  } else {
    s.linkType = m_nLinkType;
    s.loadDetail = m_nLoadDetail;
    CAgentAnchor* agent = GetAgent();
    s.fileTypeIndex = agent ? agent->m_fileTypes.Find(m_strFileTypeName) : -1;
    if (s.fileTypeIndex <= 3) {
      m_strFileTypeName.clear();
      s.fileTypeIndex = s.loadDetail;
    }
    s.locationIndex = agent ? agent->m_locations.Find(m_strLocationName) : -1;
    if (s.locationIndex <= 4) {
      m_strLocationName.clear();
      s.locationIndex = s.linkType;
    }
    s.levels = m_nLinkLevels;
    if (s.levels < 0) s.levels = (s.linkType == 1 || s.linkType == 2 || s.linkType == 4) ? 127 : 6;
    s.effectiveLevels = m_nLinkLevels;
    s.inherit = m_bUseParentSettings;
    s.requisites = m_nRequisites;
  }
  m_nEffFileType = static_cast<std::int16_t>(s.fileTypeIndex);
  m_nEffLocation = static_cast<std::int16_t>(s.locationIndex);
  m_nEffLevels = static_cast<std::int16_t>(s.effectiveLevels);
  return s;
}

unsigned long CAnchor::GetLoadInfo() { return hv::PackLoadInfo(EffectiveSettings()); }

int CAnchor::LevelCost() { return 0; }

bool CAnchor::SetLoadInfo(unsigned long value) {
  const hv::LoadSettings was = EffectiveSettings();
  const unsigned long before = hv::PackLoadInfo(was);
  const hv::UnpackedLoadInfo v = hv::UnpackLoadInfo(value);
  if (!v.inherit) {
    // Entries up to 3 and 4 are the built-in ones, which a load detail or
    // link type stands for; others must be in the agent's lists.
    CAgentAnchor* agent = GetAgent();
    const bool fileTypeKnown = v.fileTypeIndex <= 3 || (agent && v.fileTypeIndex < agent->m_fileTypes.GetSize());
    const bool locationKnown = v.locationIndex <= 4 || (agent && v.locationIndex < agent->m_locations.GetSize());
    if (!hv::IsKnownLoadDetail(v.loadDetail) || !hv::IsKnownLinkType(v.linkType) || !fileTypeKnown ||
        !locationKnown)
      return false;
    m_nLinkLevels = static_cast<std::int16_t>(v.levels);
    m_nLinkType = v.linkType;
    m_nLoadDetail = v.loadDetail;
    m_strFileTypeName = v.fileTypeIndex > 3 ? agent->m_fileTypes.GetNameAt(v.fileTypeIndex) : "";
    m_strLocationName = v.locationIndex > 4 ? agent->m_locations.GetNameAt(v.locationIndex) : "";
  }
  // Settings of its own start as those it had in force, as the others do.
  if (!v.inherit && m_bUseParentSettings) m_nRequisites = was.requisites;
  m_bUseParentSettings = static_cast<std::uint8_t>(v.inherit);
  const hv::LoadSettings now = EffectiveSettings();
  if (hv::PackLoadInfo(now) != before) MarkAgentModified();
  if (now.requisites == CUINode::rqAnyServer && was.requisites != CUINode::rqAnyServer) RereadStoredPages();
  return true;
}

bool CAnchor::SetRequisites(unsigned long value) {
  if ((m_bUseParentSettings && m_pParent) || (value != CUINode::rqStrategy && value != CUINode::rqAnyServer))
    return false;
  if (m_nRequisites != static_cast<std::int32_t>(value)) {
    m_nRequisites = static_cast<std::int32_t>(value);
    MarkAgentModified();
    if (value == CUINode::rqAnyServer) RereadStoredPages();
  }
  return true;
}

void CAnchor::RereadStoredPages() {
  CAgentAnchor* agent = GetAgent();
  std::lock_guard guard(CCache::Lock());
  hv::ForEachBottomUp(this, [](CAnchor* anchor) {
    if (auto* html = dynamic_cast<CHTMLAnchor*>(anchor))
      if (CPageDescr* page = html->IndexedPage()) page->m_bPlaceholderUsed = 1;
    return 1;
  });
  if (agent) agent->m_bCacheChanged = 1;
}

int CAnchor::EffectiveSchedule() {
  if (!m_bUseParentSchedule) {
    const int index = m_pSchedule ? CSchedule::Instance().Find(m_pSchedule->m_strName) : -1;
    if (index >= 0) return index;
    // The schedule it named is gone: inherit from now on.
    m_bUseParentSchedule = 1;
    m_pSchedule.reset();
  }
  return m_pParent ? m_pParent->EffectiveSchedule() : -1;
}

unsigned long CAnchor::GetScheduleInfo() {
  const int index = EffectiveSchedule();
  return hv::PackScheduleInfo(index, m_bUseParentSchedule);
}

void CAnchor::SetScheduleInfo(unsigned long value) {
  const int inherit = static_cast<int>(value & 1);
  const int index = static_cast<int>((value & 0xFE) / 2) - 1;
  if (inherit != m_bUseParentSchedule) {
    m_bUseParentSchedule = static_cast<std::uint8_t>(inherit);
    if (inherit)
      m_pSchedule.reset();
    else
      m_pSchedule = std::make_unique<CScheduleInfo>();
  }
  if (!m_bUseParentSchedule) {
    if (index == -1) {
      m_bUseParentSchedule = 1;
      m_pSchedule.reset();
    } else {
      if (!m_pSchedule) m_pSchedule = std::make_unique<CScheduleInfo>();
      m_pSchedule->m_strName = CSchedule::Instance().GetNameAt(index);
    }
  }
  MarkAgentModified();
}

void CAnchor::SetUserItem(int flag) { m_bUserItem = static_cast<std::uint8_t>(flag); }

// ---- names -------------------------------------------------------------------

std::string CAnchor::GetDisplayName() { return m_strName; }

int CAnchor::CopyDisplayName(char* buffer, int size) {
  const int length = static_cast<int>(m_strName.size());
  if (buffer && length < size) std::memcpy(buffer, m_strName.c_str(), m_strName.size() + 1);
  return length;
}

void CAnchor::SetName(const std::string& text, int automatic) {
  if (automatic && m_bNameFixed) return;
  if (!text.empty() && !m_strName.empty() && text == m_strName) return;
  m_strName = text;
  // The name lives in the agent file: without this a rename would be lost at
  // the next save.
  MarkAgentModified();
  if (automatic)
    NotifyNameChanged();
  else
    m_bNameFixed = 1;
}

std::string CAnchor::GetPageUrl() { return m_strName; }

void CAnchor::SetUrl(const std::string&) {}

std::string CAnchor::GetPath() {
  std::string path = GetPageUrl();
  for (CAnchor* a = m_pParent; a; a = a->m_pParent) path = a->GetPageUrl() + kPathSeparator + path;
  return path;
}

CAnchor* CAnchor::FindByPath(const std::string& path, const std::string& scheduleName) {
  const std::size_t sep = path.find(kPathSeparator);
  const std::string head = path.substr(0, sep);
  if (GetPageUrl() != head) return nullptr;
  if (sep == std::string::npos) {
    return (!m_bUseParentSchedule && m_pSchedule && m_pSchedule->m_strName == scheduleName) ? this : nullptr;
  }
  const std::string rest = path.substr(sep + 1);
  for (auto& child : m_children)
    if (CAnchor* found = child->FindByPath(rest, scheduleName)) return found;
  return nullptr;
}

// ---- tree --------------------------------------------------------------------

CSafNode* CAnchor::CreateNode() { return nullptr; }

int CAnchor::GetKind() { return 0; }

void CAnchor::FillResult(_httpRetrieveResult& result) { result = {}; }

void CAnchor::ExcludeFromLocation() {}

void CAnchor::MarkCacheUse() {}

void CAnchor::ClearResults() {
  if (!m_bUserItem) {
    DeleteTree();
    return;
  }
  // Retrieved pages go, the user's items stay in their order. As in
  // DeleteTree the children leave the array at once and the kept ones come
  // back, so a page that goes shifts nothing.
  std::vector<std::unique_ptr<CAnchor>> children = std::move(m_children);
  m_children.clear();
  bool dropped = false;
  for (auto& child : children) {
    if (child->m_bUserItem) {
      m_children.push_back(std::move(child));
      m_children.back()->ClearResults();
    } else {
      child.release()->DeleteTree();
      dropped = true;
    }
  }
  if (dropped) MarkAgentModified();
  if (m_pNode) m_pNode->Reset();
}

void CAnchor::RelinkPage() {}

int CAnchor::IndexOfChild(const CAnchor* child) const {
  for (std::size_t i = 0; i < m_children.size(); ++i)
    if (m_children[i].get() == child) return static_cast<int>(i);
  return -1;
}

int CAnchor::Depth() const {
  int depth = 0;
  for (const CAnchor* a = m_pParent; a; a = a->m_pParent) ++depth;
  return depth;
}

int CAnchor::Height() const {
  int height = 0;
  for (const auto& child : m_children) height = std::max(height, child->Height() + 1);
  return height;
}

bool CAnchor::HasRoomFor(const CAnchor& subtree) const { return Depth() + 1 + subtree.Height() <= kMaxDepth; }

void CAnchor::AttachNode(unsigned long insertPos, CArchive* ar, unsigned long version) {
  if (!m_pNode) m_pNode = CreateNode();
  if (!m_pNode) return;
  CSafNode* parentNode = m_pParent ? m_pParent->m_pNode : nullptr;
  const int kind = GetKind();
  CUINode* ui = CSafClient::GetSafClient()->CreateUINode(m_pNode, parentNode, kind, insertPos, ar, version);
  m_pNode->m_pUINode = ui;
  if (!ui) return;
  ui->m_pNode = m_pNode;
  ui->m_pParentNode = parentNode;
  ui->m_nKind = kind;
  NodeReport report(m_pNode);
  m_pNode->Attach(report.loadInfo, report.scheduleInfo, &report.result, report.url.data(), insertPos);
}

void CAnchor::ReAttachNode() {
  if (!m_pNode) return;
  NodeReport report(m_pNode);
  m_pNode->ReAttach(report.loadInfo, report.scheduleInfo, &report.result, report.url.data());
}

CAnchor* CAnchor::InsertChild(std::unique_ptr<CAnchor> owned, unsigned long insertPos) {
  if (!HasRoomFor(*owned)) {
    // A page found that deep is just not followed; the user's own items are
    // refused with a word why.
    if (owned->m_bUserItem) ShowTooDeep();
    return nullptr;
  }
  CAnchor* child = owned.get();
  m_children.push_back(std::move(owned));
  child->m_pParent = this;
  if (child->m_pNode) {
    child->ReAttachNode();
  } else if (m_pNode || !m_pParent) {
    // Only anchors of a tree the user interface shows get nodes.
    child->AttachNode(insertPos, nullptr, 0);
  }
  MarkAgentModified();
  child->EffectiveSettings();
  child->EffectiveSchedule();
  return child;
}

void CAnchor::AdoptChild(CAnchor* child) {
  if (!child || child == this) return;
  // Moving an anchor below itself would cut the tree loose.
  for (CAnchor* a = this; a; a = a->m_pParent)
    if (a == child) return;
  CAnchor* oldParent = child->m_pParent;
  if (!oldParent) return;
  if (!HasRoomFor(*child)) {
    ShowTooDeep();
    return;
  }
  if (oldParent->RemoveChild(child) < 0) return;
  std::unique_ptr<CAnchor> owned(child);
  if (child->m_pNode && child->m_pNode->m_pUINode) {
    child->m_pNode->m_pUINode->m_pParentNode = m_pNode;
    child->m_pNode->m_pUINode->m_nKind = child->GetKind();
  }
  InsertChild(std::move(owned), 0);
}

int CAnchor::RemoveChild(CAnchor* child) {
  const int index = IndexOfChild(child);
  if (index < 0 || child->m_pParent != this) return index;
  if (!child->m_bOwnPagePending) {
    --m_nChildrenLoaded;
    --m_nSubtreesDone;
  }
  m_children[static_cast<std::size_t>(index)].release();  // the caller owns it now
  m_children.erase(m_children.begin() + index);
  child->m_pParent = nullptr;
  MarkAgentModified();
  return index;
}

// ---- stored form -------------------------------------------------------------

void CAnchor::Serialize(CArchive& ar) {
  SerializeAnchorPart(ar);
  SerializeTail(ar);
}

void CAnchor::SerializeAnchorPart(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteString(m_strName);
    ar.WriteByte(static_cast<std::uint8_t>(m_bNameFixed ? 1 : 0));
    ar.WriteByte(m_bUserItem);
    ar.WriteObject(m_pParent);
    ar.WriteDWord(static_cast<std::uint32_t>(static_cast<std::int32_t>(m_nLinkLevels)));
    ar.WriteByte(static_cast<std::uint8_t>(m_nLoadDetail));
    ar.WriteByte(static_cast<std::uint8_t>((m_nLinkType & 0x7F) | (StoresNoLevelCost() && m_bNoLevelCost ? 0x80 : 0)));
    ar.WriteByte(m_bUseParentSettings);
    if (m_bUseParentSettings) {
      m_strFileTypeName.clear();
      m_strLocationName.clear();
    }
    ar.WriteString(m_strFileTypeName);
    ar.WriteString(m_strLocationName);
    if (!m_bUseParentSchedule) EffectiveSchedule();  // drops a schedule that names nothing known
    ar.WriteByte(m_bUseParentSchedule);
    if (!m_bUseParentSchedule && m_pSchedule) m_pSchedule->m_strAgentId = GetPath();
    ar.WriteObject(m_bUseParentSchedule ? nullptr : m_pSchedule.get());
    return;
  }

  auto* ctx = static_cast<hv::AgentLoadContext*>(ar.m_pDocument);
  if (!ctx) throw CArchiveException("anchor read outside an agent file");
  m_strName = ar.ReadString();
  m_bNameFixed = ar.ReadByte() ? 1 : 0;
  m_bUserItem = ar.ReadByte();
  CObject* parent = ar.ReadReference(RUNTIME_CLASS(CAnchor));
  if (parent != ctx->EnclosingAnchor()) throw CArchiveException("parent is not the enclosing anchor");
  m_pParent = static_cast<CAnchor*>(parent);
  m_nLinkLevels = static_cast<std::int16_t>(static_cast<std::int32_t>(ar.ReadDWord()));
  m_nLoadDetail = ar.ReadByte();
  const std::uint8_t linkType = ar.ReadByte();
  if (StoresNoLevelCost()) {
    m_bNoLevelCost = (linkType & 0x80) ? 1 : 0;
    m_nLinkType = linkType & 0x7F;
  } else {
    m_nLinkType = linkType;
  }
  m_bUseParentSettings = ar.ReadByte() ? 1 : 0;
  if (!hv::IsKnownLoadDetail(m_nLoadDetail) || !hv::IsKnownLinkType(m_nLinkType)) RepairUnknownStrategy();
  m_strFileTypeName = ar.ReadString();
  m_strLocationName = ar.ReadString();
  m_bUseParentSchedule = ar.ReadByte() ? 1 : 0;
  m_pSchedule.reset(static_cast<CScheduleInfo*>(ar.ReadNewObject(RUNTIME_CLASS(CScheduleInfo)).release()));
  if (m_bUseParentSchedule) m_pSchedule.reset();
  m_bOwnPagePending = 0;
  if (!m_bUseParentSchedule) EffectiveSchedule();  // drops a schedule that names nothing known
}

void CAnchor::RepairUnknownStrategy() {
  if (m_pParent) {
    m_bUseParentSettings = 1;
    m_nLoadDetail = m_nLinkType = 0;  // not read while inheriting
    return;
  }
  if (!hv::IsKnownLoadDetail(m_nLoadDetail)) m_nLoadDetail = CAgentAnchor::kDefaultLoadDetail;
  if (!hv::IsKnownLinkType(m_nLinkType)) m_nLinkType = CAgentAnchor::kDefaultLinkType;
}

void CAnchor::SerializeTail(CArchive& ar) {
  if (ar.IsStoring()) {
    if (m_pNode) m_pNode->SerializeUi(ar, CAgentManager::kFileVersion);
    ar.WriteCount(static_cast<std::uint32_t>(m_children.size()));
    for (const auto& child : m_children) ar.WriteObject(child.get());
    return;
  }
  auto* ctx = static_cast<hv::AgentLoadContext*>(ar.m_pDocument);
  AttachNode(0, &ar, ctx->version);
  ReadChildren(ar);
}

void CAnchor::ReadChildren(CArchive& ar) {
  auto* ctx = static_cast<hv::AgentLoadContext*>(ar.m_pDocument);
  // The stack holds this anchor's ancestors: its depth.
  if (static_cast<int>(ctx->stack.size()) > kMaxDepth) throw CArchiveException("tree too deep");
  ctx->stack.push_back(this);
  const std::uint32_t count = ar.ReadCount(2);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::unique_ptr<CObject> obj = ar.ReadNewObject(RUNTIME_CLASS(CAnchor));
    if (!obj || obj->IsKindOf(RUNTIME_CLASS(CAgentAnchor))) throw CArchiveException("bad child");
    m_children.emplace_back(static_cast<CAnchor*>(obj.release()));
  }
  ctx->stack.pop_back();
}
