// The exported statics and forwarding members of CSafClient. Every static
// catches the engine's exceptions and answers with its failure value.
#include "harvion/saf_client.h"

#include <cstring>
#include <ctime>
#include <new>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/base_node.h"
#include "engine/agent/category_anchor.h"
#include "engine/agent/guarded.h"
#include "engine/agent/html_anchor.h"
#include "engine/agent/load_info.h"
#include "engine/agent/search_category_anchor.h"
#include "engine/cache/cache.h"
#include "engine/html/run_relink.h"
#include "engine/http/authen.h"
#include "engine/http/cookies.h"
#include "engine/http/http_async_server.h"
#include "engine/retrieval/retrieval_run.h"
#include "engine/retrieval/run_limits.h"
#include "engine/schedule/schedule.h"
#include "engine/settings/engine_app.h"
#include "engine/settings/exception_entry.h"
#include "engine/settings/search_engine_list.h"
#include "engine/settings/three_string_entry.h"
#include "harvion/global_memory.h"

using hv::Guarded;

namespace {

CAgentManager& Manager() { return CAgentManager::Instance(); }

// The anchor behind a node of the open agent; null for anything else.
CAnchor* AnchorOf(CSafNode* node) {
  auto* base = dynamic_cast<CBaseNode*>(node);
  if (!base || !base->m_pAnchor) return nullptr;
  CAgentAnchor* agent = Manager().Agent();
  return (agent && base->m_pAnchor->GetAgent() == agent) ? base->m_pAnchor : nullptr;
}

HGLOBAL TextBlock(const std::string& text, UINT flags) {
  HGLOBAL block = GlobalAlloc(flags | GMEM_ZEROINIT, text.size() + 1);
  if (!block) return nullptr;
  std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  return block;
}

// Each entry: the low byte of its id, its name and a zero; then 0xFF.
HGLOBAL PackedList(const CNamedArray& list) {
  if (list.GetSize() == 0) return nullptr;
  std::string bytes;
  for (int i = 0; i < list.GetSize(); ++i) {
    const auto* entry = static_cast<const CExceptionEntry*>(list.GetAt(i));
    bytes.push_back(static_cast<char>(entry->m_nKind & 0xFF));
    bytes += entry->m_strName;
    bytes.push_back('\0');
  }
  bytes.push_back(static_cast<char>(0xFF));
  HGLOBAL block = GlobalAlloc(GHND, bytes.size());
  if (!block) return nullptr;
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

// Inserts a new user item under the parent and returns its node.
CSafNode* Insert(CSafNode* parentNode, std::unique_ptr<CAnchor> anchor, const char* name,
                 unsigned long insertPos) {
  CAnchor* parent = AnchorOf(parentNode);
  if (!parent) return nullptr;
  std::lock_guard guard(CCache::Lock());  // a run's workers may be adding children here
  anchor->SetUserItem(1);
  if (name && *name) {
    anchor->m_strName = name;
    anchor->m_bNameFixed = 1;
  }
  CAnchor* child = parent->InsertChild(std::move(anchor), insertPos);  // null when too deep
  return child ? child->m_pNode : nullptr;
}

}  // namespace

CSafClient::~CSafClient() = default;

CSafClient* CSafClient::GetSafClient() {
  static CSafClient client;
  return &client;
}

void CSafClient::Connect(CUIClient* client) { m_pUIClient = client; }

CUINode* CSafClient::CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long insertPos,
                                  CArchive* ar, unsigned long version) {
  return m_pUIClient ? m_pUIClient->CreateUINode(node, parent, kind, insertPos, ar, version) : nullptr;
}

HWND CSafClient::GetMainWnd() { return m_pUIClient ? m_pUIClient->GetMainWnd() : nullptr; }

HWND CSafClient::GetBrowserWnd() { return m_pUIClient ? m_pUIClient->GetBrowserWnd() : nullptr; }

void CSafClient::ServerProgress(CUIClient::serverType type, CUIClient::serverProgress progress) {
  Guarded(0, [&] {
    CAgentManager& manager = Manager();
    if (type == CUIClient::stHttp && progress == CUIClient::spStarted) {
      manager.m_tRunStart = manager.NewRunStart();
      // Realms start each run afresh: owners, checks and unconfirmed realms
      // of the last run are forgotten.
      CAuthen::Instance().Load();
      if (manager.Cache()) manager.Cache()->Previous().BeginRun();
      manager.Save();
    } else if (type == CUIClient::stHttp &&
               (progress == CUIClient::spFinished || progress == CUIClient::spInterrupted) && manager.Agent()) {
      // A run that went to its end has stored the agent's pages again.
      if (progress == CUIClient::spFinished && manager.Cache()) manager.Cache()->IndexRebuilt();
      if (manager.Cache()) hv::RelinkAfterRun(*manager.Cache(), manager.m_tRunStart);
      if (manager.Cache()) hv::run::SaveLimits(manager.Cache()->Directory());
      // Only a run that did all it was asked replaces what earlier runs
      // left to compare with.
      const bool completed = progress == CUIClient::spFinished && hv::run::Limits().Total() == 0 &&
                             !hv::run::Incomplete();
      if (manager.Cache()) manager.Cache()->Previous().EndRun(manager.Cache()->Directory(), completed);
      manager.m_tRunEnd = static_cast<std::uint32_t>(std::time(nullptr));
      manager.SetRunning(nullptr);
      manager.PostStatistics();
    }
    return 0;
  });
  // The cookies of the run reach the store before anyone hears it ended.
  if (type == CUIClient::stHttp && (progress == CUIClient::spFinished || progress == CUIClient::spInterrupted))
    CCookies::Instance().Flush();
  if (m_pUIClient) m_pUIClient->ServerProgress(type, progress);
}

CSafNode* CSafClient::CreateAgent(const char* name) {
  return Guarded<CSafNode*>(nullptr, [&]() -> CSafNode* {
    CAgentAnchor* agent = Manager().Create(name ? name : "");
    return agent ? agent->m_pNode : nullptr;
  });
}

int CSafClient::LoadAgentFile(const char* name, int noFallback) {
  return Guarded(0, [&] {
    CAgentManager& manager = Manager();
    if (!manager.Open(name ? name : "") && !noFallback) manager.Open("");
    if (!manager.Agent()) return 0;
    manager.RefreshStatistics();
    manager.GarbageCollect();
    return 1;
  });
}

void CSafClient::HTTPShutdown() {
  Guarded(0, [] {
    CHTTPAsyncServer::Instance().Stop(0);
    return 0;
  });
}

void CSafClient::SetUnattended(const char* agentFiles, const char* agentFolders) {
  Guarded(0, [&] {
    CAgentManager& manager = Manager();
    manager.m_bUnattended = true;
    const std::string files = agentFiles ? agentFiles : "";
    const std::string folders = agentFolders ? agentFolders : "";
    if (EngineApp::IsFolderPath(files) && EngineApp::IsFolderPath(folders)) manager.SetDirectories(files, folders);
    return 0;
  });
}

void CSafClient::SaveAgentFile() {
  Guarded(0, [] { return static_cast<int>(Manager().Save()); });
}

void CSafClient::DeleteAgent() {
  Guarded(0, [] {
    Manager().Close(true);
    return 0;
  });
}

void CSafClient::DeleteAgentFile() {
  Guarded(0, [] {
    Manager().DeleteAgentFile();
    return 0;
  });
}

int CSafClient::DoesAgentExist(const char* name) {
  return Guarded(0, [&] { return name && Manager().AgentExists(name) ? 1 : 0; });
}

int CSafClient::IsAgentMissing(const char* name) {
  return Guarded(0, [&] { return name && Manager().AgentMissing(name) ? 1 : 0; });
}

HGLOBAL CSafClient::CreateNewAgentName(const char* baseName) {
  return Guarded<HGLOBAL>(nullptr, [&]() -> HGLOBAL {
    const std::string name = Manager().NewAgentName(baseName ? baseName : "");
    return name.empty() ? nullptr : TextBlock(name, GMEM_FIXED);
  });
}

CSafNode* CSafClient::FindAgent(const char* path, const char* scheduleName) {
  return Guarded<CSafNode*>(nullptr, [&]() -> CSafNode* {
    CAgentAnchor* agent = Manager().Agent();
    if (!agent || !path || !scheduleName) return nullptr;
    CAnchor* found = agent->FindByPath(path, scheduleName);
    return found ? found->m_pNode : nullptr;
  });
}

CSafNode* CSafClient::CreateHTMLNode(CSafNode* parent, const char* name, const char* url,
                                     unsigned long insertPos) {
  return Guarded<CSafNode*>(nullptr, [&]() -> CSafNode* {
    CCache* cache = Manager().Cache();
    if (!cache || !url) return nullptr;
    CPageDescr* page;
    {
      std::lock_guard guard(CCache::Lock());
      page = cache->FindOrCreate(url);
    }
    if (!page) return nullptr;
    auto anchor = std::make_unique<CHTMLAnchor>();
    anchor->m_pPage = page;
    return Insert(parent, std::move(anchor), name, insertPos);
  });
}

CSafNode* CSafClient::CreateCategoryNode(CSafNode* parent, const char* name, unsigned long insertPos) {
  return Guarded<CSafNode*>(nullptr, [&] {
    return Insert(parent, std::make_unique<CCategoryAnchor>(), name, insertPos);
  });
}

CSafNode* CSafClient::CreateSearchCategoryNode(CSafNode* parent, const char* searchText, unsigned long insertPos) {
  return Guarded<CSafNode*>(nullptr, [&]() -> CSafNode* {
    CCache* cache = Manager().Cache();
    if (!cache) return nullptr;
    CSafNode* node = Insert(parent, std::make_unique<CSearchCategoryAnchor>(), searchText, insertPos);
    CAnchor* folder = AnchorOf(node);
    if (!folder) return nullptr;
    CNamedArray engines;
    hv::settings::LoadSearchEngines(engines);
    for (int i = 0; i < engines.GetSize(); ++i) {
      const auto* engine = static_cast<const C3StringEntry*>(engines.GetAt(i));
      CPageDescr* page;
      {
        std::lock_guard guard(CCache::Lock());
        page = cache->FindOrCreate(engine->m_strFirst + "?" + engine->m_strSecond);
      }
      if (!page) continue;
      auto location = std::make_unique<CHTMLAnchor>();
      location->m_pPage = page;
      location->m_strName = engine->GetName();
      location->m_bNameFixed = 1;
      location->SetUserItem(1);
      folder->InsertChild(std::move(location), 0);
    }
    return node;
  });
}

void CSafClient::TransferNode(CSafNode* node, CSafNode* newParent) {
  Guarded(0, [&] {
    CAnchor* anchor = AnchorOf(node);
    CAnchor* parent = AnchorOf(newParent);
    std::lock_guard guard(CCache::Lock());
    if (anchor && parent && anchor->m_pParent) parent->AdoptChild(anchor);
    return 0;
  });
}

HGLOBAL CSafClient::GetFileTypeList() {
  return Guarded<HGLOBAL>(nullptr, []() -> HGLOBAL {
    CAgentAnchor* agent = Manager().Agent();
    return agent ? PackedList(agent->m_fileTypes) : nullptr;
  });
}

HGLOBAL CSafClient::GetConstraintList() {
  return Guarded<HGLOBAL>(nullptr, []() -> HGLOBAL {
    CAgentAnchor* agent = Manager().Agent();
    return agent ? PackedList(agent->m_locations) : nullptr;
  });
}

HGLOBAL CSafClient::GetScheduleList() {
  return Guarded<HGLOBAL>(nullptr, [] { return CSchedule::Instance().GetNameList(); });
}

HGLOBAL CSafClient::GetEmptyFileName() {
  return Guarded<HGLOBAL>(nullptr, [] { return TextBlock(Manager().StartupPagePath(), GMEM_FIXED); });
}

unsigned long CSafClient::PackLoadInfo(int loadDetail, int linkType, int levels, int fileTypeIndex,
                                       int locationIndex, int inherit, int effectiveLevels) {
  return hv::PackLoadInfo(loadDetail, linkType, levels, fileTypeIndex, locationIndex, inherit, effectiveLevels);
}

unsigned long CSafClient::PackScheduleInfo(int scheduleIndex, int inherit) {
  return hv::PackScheduleInfo(scheduleIndex, inherit);
}

CEngineLock::CEngineLock() { CCache::Lock().lock(); }

CEngineLock::~CEngineLock() { CCache::Lock().unlock(); }
