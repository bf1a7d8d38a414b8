#include "engine/agent/agent_manager.h"

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_load_context.h"
#include "engine/agent/help_library.h"
#include "engine/agent/http_anchor.h"
#include "engine/cache/cache.h"
#include "engine/settings/engine_app.h"
#include "harvion/message_target.h"
#include "harvion/messages.h"
#include "harvion/saf_client.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

namespace {

std::string StartupAgentName() { return hv::res::LoadString(hv::res::IDS_STARTUP_AGENT); }

std::string AgentExtension() { return hv::res::LoadString(hv::res::IDS_AGENT_EXTENSION); }

}  // namespace

CAgentManager& CAgentManager::Instance() {
  static CAgentManager manager;
  return manager;
}

CAgentManager::CAgentManager() = default;

// The open agent is closed by the front end before it exits (its UI nodes
// must still be there to be detached); nothing is left to do here.
CAgentManager::~CAgentManager() = default;

// ---- folders and names ---------------------------------------------------

const std::string& CAgentManager::AgentFilesDirectory() const {
  return m_bDirectoriesSet ? m_strAgentFilesDir : EngineApp::Instance().m_strAgentsFolder;
}

const std::string& CAgentManager::AgentFoldersDirectory() const {
  return m_bDirectoriesSet ? m_strAgentFoldersDir : EngineApp::Instance().m_strCacheFolder;
}

void CAgentManager::SetDirectories(std::string agentFiles, std::string agentFolders) {
  m_strAgentFilesDir = std::move(agentFiles);
  m_strAgentFoldersDir = std::move(agentFolders);
  m_bDirectoriesSet = true;
}

void CAgentManager::ResetDirectories() {
  m_bDirectoriesSet = false;
  m_strAgentFilesDir.clear();
  m_strAgentFoldersDir.clear();
}

std::string CAgentManager::AgentFilePath(const std::string& name) const {
  return hv::fs::JoinPath(AgentFilesDirectory(), name + "." + AgentExtension());
}

std::string CAgentManager::AgentFolderPath(const std::string& name) const {
  return hv::fs::JoinPath(AgentFoldersDirectory(), name);
}

std::string CAgentManager::StartupPagePath() const {
  return hv::fs::JoinPath(AgentFolderPath(StartupAgentName()), "hvpage.htm");
}

bool CAgentManager::IsValidAgentName(const std::string& name) {
  // The extension must still fit in a file name.
  return !name.empty() && name != "." && name != ".." && name.size() <= 250 &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

bool CAgentManager::AgentExists(const std::string& name) const {
  return IsValidAgentName(name) && hv::fs::IsRegularFile(AgentFilePath(name)) &&
         hv::fs::IsDirectory(AgentFolderPath(name));
}

bool CAgentManager::AgentMissing(const std::string& name) const {
  return IsValidAgentName(name) && !hv::fs::Exists(AgentFilePath(name)) &&
         !hv::fs::Exists(AgentFolderPath(name));
}

std::string CAgentManager::NewAgentName(const std::string& base) const {
  if (AgentMissing(base)) return base;
  for (int n = 1; n < 100000; ++n) {
    std::string candidate = base + "(" + std::to_string(n) + ")";
    if (AgentMissing(candidate)) return candidate;
  }
  return {};
}

bool CAgentManager::SetAgentName(const std::string& name) {
  if (name.empty()) {
    m_strAgentName.clear();
    m_pCache.reset();
    return true;
  }
  if (!IsValidAgentName(name)) return false;
  if (!m_strAgentName.empty()) {
    if (name == m_strAgentName) return true;
    // Renaming onto another agent's file or folder would destroy that agent.
    if (!AgentMissing(name)) return false;
    const std::string oldFolder = AgentFolderPath(m_strAgentName);
    const std::string newFolder = AgentFolderPath(name);
    hv::fs::RenamePath(oldFolder, newFolder);
    hv::fs::RenamePath(AgentFilePath(m_strAgentName), AgentFilePath(name));
    m_strAgentName = name;
    if (m_pCache) m_pCache->SetDirectory(newFolder);
    return true;
  }
  m_strAgentName = name;
  OpenCache(AgentFolderPath(name));
  return true;
}

void CAgentManager::OpenCache(const std::string& folder) {
  m_pCache = std::make_unique<CCache>(folder);
  m_pCache->Open();
  m_pCache->SetTotals(m_pAgent);
}

// ---- open, save, close -----------------------------------------------------

void CAgentManager::ReadAgentFile(const std::string& path) {
  CFile file(path, CFile::modeRead | CFile::shareDenyWrite);
  if (file.GetLength() == 0) return;  // an empty file opens no agent, quietly
  CArchive ar(&file, CArchive::load);
  hv::AgentLoadContext ctx;
  ctx.cache = m_pCache.get();
  ar.m_pDocument = &ctx;
  ctx.version = ar.ReadDWord();
  std::unique_ptr<CObject> root = ar.ReadNewObject(RUNTIME_CLASS(CAgentAnchor));
  if (!root) throw CArchiveException("no agent in the file");
  m_nFileVersion = ctx.version;
  m_pAgent = static_cast<CAgentAnchor*>(root.release());
  m_pAgent->m_bModified = 0;
  m_pCache->SetTotals(m_pAgent);
}

bool CAgentManager::Open(const std::string& requested) {
  Close(true);
  std::string name = requested;
  if (name.empty()) {
    name = StartupAgentName();
    if (!AgentExists(name)) CreateStartupAgent();
  }
  if (!IsValidAgentName(name) || !hv::fs::IsRegularFile(AgentFilePath(name))) return false;
  // A failed open must not leave a new folder that would make the name look
  // like an agent.
  const std::string folder = AgentFolderPath(name);
  const bool hadFolder = hv::fs::IsDirectory(folder);
  try {
    SetAgentName(name);
    ReadAgentFile(AgentFilePath(name));
  } catch (const CException&) {
    m_pAgent = nullptr;
  } catch (const std::bad_alloc&) {
    m_pAgent = nullptr;
  }
  if (!m_pAgent) {
    SetAgentName("");
    // Opening made the folder and its placeholder: take them away again.
    if (!hadFolder) hv::fs::RemoveTree(folder);
  }
  return m_pAgent != nullptr;
}

bool CAgentManager::Save() {
  CAgentAnchor* agent = m_pAgent;
  if (!agent || (!agent->m_bModified && !agent->m_bCacheChanged)) return true;
  // The index first: the agent file must never name pages the index lost.
  if (!SaveCache()) {
    agent->m_bModified = 1;
    return false;
  }
  try {
    hv::fs::ReplaceFile(AgentFilePath(m_strAgentName), [agent](CFile& file) {
      CArchive ar(&file, CArchive::store);
      ar.WriteDWord(static_cast<std::uint32_t>(kFileVersion));
      ar.WriteObject(agent);
      ar.Close();
    });
    return true;
  } catch (const CException&) {
  } catch (const std::bad_alloc&) {
  }
  agent->m_bModified = 1;  // written at the next save
  return false;
}

void CAgentManager::Close(bool save) {
  if (!m_pAgent) return;
  if (save) Save();
  m_pAgent->DeleteTree();  // ends in ReleaseAgent
}

std::unique_ptr<CCache> CAgentManager::ReleaseAgent(CAgentAnchor* agent) {
  if (agent != m_pAgent) return nullptr;
  if (m_pCache) m_pCache->SetTotals(nullptr);
  m_pAgent = nullptr;
  m_pRunning = nullptr;
  m_strAgentName.clear();
  return std::move(m_pCache);
}

CAgentAnchor* CAgentManager::Create(const std::string& name) {
  Close(true);
  if (!AgentMissing(name)) return nullptr;
  if (!SetAgentName(name)) return nullptr;
  auto agent = std::make_unique<CAgentAnchor>();
  agent->m_strName = name;
  agent->m_bNameFixed = 1;
  agent->m_bModified = 1;
  m_nFileVersion = kFileVersion;
  m_pAgent = agent.release();
  m_pCache->SetTotals(m_pAgent);
  m_pAgent->AttachNode(0, nullptr, 0);
  return m_pAgent;
}

void CAgentManager::DeleteAgentFile() {
  if (!m_pAgent) return;
  const std::string name = m_strAgentName;
  hv::fs::RemoveFile(AgentFilePath(name));
  hv::fs::RemoveTree(AgentFolderPath(name));
  m_pAgent->m_bModified = 0;
  Close(false);
}

bool CAgentManager::CreateStartupAgent() {
  const std::string name = StartupAgentName();
  const std::string file = AgentFilePath(name);
  const std::string folder = AgentFolderPath(name);
  hv::fs::RemoveFile(file);
  hv::fs::RemoveTree(folder);
  if (!hv::fs::EnsureDirectory(folder)) return false;
  if (!hv::res::WriteResourceFile(file, hv::res::IDR_STARTUP_AGENT_FILE) ||
      !hv::res::WriteResourceFile(hv::fs::JoinPath(AgentFilesDirectory(), name + ".htm"),
                                  hv::res::IDR_STARTUP_FRAMESET))
    return false;
  if (auto help = CHelpLibrary::Load()) help->CopyTo(folder);
  return true;
}

// ---- cache -------------------------------------------------------------------

bool CAgentManager::SaveCache() {
  if (!m_pAgent || !m_pCache) return false;
  if (!m_pCache->Save()) return false;
  m_pAgent->m_bCacheChanged = 0;
  return true;
}

void CAgentManager::GarbageCollect() {
  if (!m_pAgent || !m_pCache) return;
  m_pCache->BeginCollection();
  hv::ForEachBottomUp(m_pAgent, [](CAnchor* anchor) {
    anchor->MarkCacheUse();
    return 1;
  });
  m_pCache->Collect();
  RefreshStatistics();
}

void CAgentManager::ResetCache() {
  if (!m_pAgent || !m_pCache) return;
  const std::string folder = m_pCache->Directory();
  m_pCache->SetTotals(nullptr);
  hv::fs::RemoveTree(folder);
  hv::fs::EnsureDirectory(folder);
  if (m_strAgentName == StartupAgentName())
    if (auto help = CHelpLibrary::Load()) help->CopyTo(folder);
  // Locations dropped their records before this; a page anchor that still
  // points into the old index (a hand-made file can make any page a user
  // item) must not outlive it with that pointer.
  hv::ForEachBottomUp(m_pAgent, [](CAnchor* anchor) {
    if (auto* page = dynamic_cast<CHTTPAnchor*>(anchor)) page->m_pPage = nullptr;
    return 1;
  });
  OpenCache(folder);
  m_pAgent->m_bCacheChanged = 1;
}

void CAgentManager::SizeLimitReached() {
  if (m_runIsDraining && m_stopRun && m_runIsDraining()) m_stopRun();
}

// ---- statistics ----------------------------------------------------------------

void CAgentManager::RefreshStatistics() {
  if (!m_pAgent) return;
  std::int64_t files = 0, bytes = 0;
  hv::fs::MeasureFolder(AgentFolderPath(m_strAgentName), files, bytes);
  m_pAgent->m_nFileCount = static_cast<std::int32_t>(files);
  m_pAgent->m_nByteCount = static_cast<std::int32_t>(bytes);
  PostStatistics();
}

void CAgentManager::PostStatistics() {
  if (!m_pAgent) return;
  PostMessage(CSafClient::GetSafClient()->GetMainWnd(), WM_HV_STATISTICS,
              static_cast<WPARAM>(static_cast<std::uint32_t>(m_pAgent->m_nFileCount)),
              static_cast<LPARAM>(static_cast<std::uint32_t>(m_pAgent->m_nByteCount)));
}
