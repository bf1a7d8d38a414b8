#include "engine/agent/agent_anchor.h"

#include <algorithm>
#include <climits>

#include "engine/agent/agent_manager.h"
#include "engine/agent/agent_node.h"
#include "engine/agent/item_extras.h"
#include "engine/cache/cache.h"
#include "engine/settings/exception_entry.h"
#include "harvion/ui_node.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

IMPLEMENT_SERIAL(CAgentAnchor, CAnchor, 1)

CAgentAnchor::CAgentAnchor() {
  m_bUserItem = 1;
  m_bUseParentSettings = 0;
  m_nLinkType = kDefaultLinkType;
  m_nLoadDetail = kDefaultLoadDetail;
  m_nLinkLevels = 1;
  SetBuiltInLists();
}

// The agent's node reads the agent's own fields while it detaches.
CAgentAnchor::~CAgentAnchor() { DestroyTree(); }

void CAgentAnchor::SetBuiltInLists() {
  m_fileTypes.RemoveAllItems();
  m_locations.RemoveAllItems();
  for (int i = 0; i < 4; ++i)
    m_fileTypes.Add(std::make_unique<CExceptionEntry>(hv::res::LoadString(hv::res::IDS_FILE_TYPE_FIRST + i), i, "",
                                                      CExceptionEntry::kBuiltInPermissions));
  for (int i = 0; i < 5; ++i) {
    const unsigned id = i < 4 ? hv::res::IDS_LOCATION_FIRST + i : hv::res::IDS_LOCATION_INSIDE_SERVER;
    m_locations.Add(std::make_unique<CExceptionEntry>(hv::res::LoadString(id), i, "",
                                                      CExceptionEntry::kBuiltInPermissions));
  }
}

CExceptionEntry* CAgentAnchor::FileTypeEntry(int index) const {
  return static_cast<CExceptionEntry*>(m_fileTypes.GetAt(index));
}

CExceptionEntry* CAgentAnchor::LocationEntry(int index) const {
  return static_cast<CExceptionEntry*>(m_locations.GetAt(index));
}

void CAgentAnchor::Serialize(CArchive& ar) {
  m_fileTypes.SerializeItems(ar, RUNTIME_CLASS(CExceptionEntry));
  m_locations.SerializeItems(ar, RUNTIME_CLASS(CExceptionEntry));
  if (ar.IsStoring()) {
    ar.WriteString(m_strAuthor1);
    ar.WriteString(m_strAuthor2);
    ar.WriteString(m_strAuthor3);
    ar.WriteDWord(static_cast<std::uint32_t>(m_nSizeLimit));
  } else {
    m_strAuthor1 = ar.ReadString();
    m_strAuthor2 = ar.ReadString();
    m_strAuthor3 = ar.ReadString();
    m_nSizeLimit = static_cast<std::int32_t>(ar.ReadDWord());
  }
  SerializeAnchorPart(ar);
  SerializeTail(ar);
  if (ar.IsStoring()) m_bModified = 0;
}

void CAgentAnchor::ClearResults() {
  CAnchor::ClearResults();
  CAgentManager& manager = CAgentManager::Instance();
  if (manager.Agent() != this) return;
  manager.ResetCache();
  hv::ForEachBottomUp(this, [](CAnchor* anchor) {
    anchor->RelinkPage();
    return 1;
  });
  // The items' extras went with the folder; the locations name their pages
  // again, so their paths are whole.
  try {
    hv::item_extras::Save(*this, manager.AgentFolderPath(manager.AgentName()));
  } catch (const CException&) {
    m_bModified = 1;  // the next save writes them with the agent file
  }
  manager.RefreshStatistics();
}

namespace {

std::int32_t ClampTotal(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, INT32_MAX));
}

}  // namespace

void CAgentAnchor::AddBytes(std::int64_t n) {
  m_nByteCount = ClampTotal(static_cast<std::int64_t>(m_nByteCount) + n);
  CAgentManager& manager = CAgentManager::Instance();
  if (manager.Agent() != this) return;
  if (m_nSizeLimit > 0 && static_cast<std::int64_t>(m_nByteCount) >= static_cast<std::int64_t>(m_nSizeLimit) * 1024)
    manager.SizeLimitReached();
  manager.PostStatistics();
}

void CAgentAnchor::AddFiles(std::int32_t n) {
  m_nFileCount = ClampTotal(static_cast<std::int64_t>(m_nFileCount) + n);
  if (CAgentManager::Instance().Agent() == this) CAgentManager::Instance().PostStatistics();
}

void CAgentAnchor::DeleteTree() {
  // The records outlive the anchors that point at them.
  std::unique_ptr<CCache> cache = CAgentManager::Instance().ReleaseAgent(this);
  m_fileTypes.RemoveAllItems();
  m_locations.RemoveAllItems();
  CAnchor::DeleteTree();
}

void CAgentAnchor::SetName(const std::string& text, int automatic) {
  // Checked before the manager sees it: to the manager an empty name means
  // "close the agent", which must never come from a rename.
  if (text == m_strName || !CAgentManager::IsValidAgentName(text)) return;
  CAgentManager& manager = CAgentManager::Instance();
  // Renames the agent file and folder; refused for a name that would take
  // another agent's files.
  if (manager.Agent() == this && !manager.SetAgentName(text)) return;
  CAnchor::SetName(text, automatic);
  m_bModified = 1;
}

CSafNode* CAgentAnchor::CreateNode() { return new CAgentNode(this); }

int CAgentAnchor::GetKind() { return 0x42; }

