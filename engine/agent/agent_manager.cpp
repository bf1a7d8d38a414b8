#include "engine/agent/agent_manager.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_leftovers.h"
#include "engine/agent/agent_load_context.h"
#include "engine/agent/agent_lock.h"
#include "engine/agent/crash_point.h"
#include "engine/agent/help_library.h"
#include "engine/agent/http_anchor.h"
#include "engine/agent/item_extras.h"
#include "engine/cache/body_digests.h"
#include "engine/cache/cache.h"
#include "engine/retrieval/run_limits.h"
#include "engine/schedule/run_entries.h"
#include "engine/schedule/schedule.h"
#include "engine/schedule/schedule_info.h"
#include "engine/settings/engine_app.h"
#include "harvion/message_target.h"
#include "harvion/messages.h"
#include "harvion/saf_client.h"
#include "harvion/schedule.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "platform/framework/archive.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

namespace {

std::string StartupAgentName() { return hv::res::LoadString(hv::res::IDS_STARTUP_AGENT); }

std::string AgentExtension() { return hv::res::LoadString(hv::res::IDS_AGENT_EXTENSION); }

// What the user is told about a failed write: the system's reason.
std::string Reason(const CException& error) {
  const auto* file = dynamic_cast<const CFileException*>(&error);
  return file && file->m_lOsError ? std::strerror(file->m_lOsError) : error.what();
}

}  // namespace

CAgentManager& CAgentManager::Instance() {
  static CAgentManager manager;
  return manager;
}

CAgentManager::CAgentManager() {
  // A node stored with a schedule of its own is recorded for the scheduler
  // program, which is started when the record is new and runs are on.
  CScheduleInfo::OnStored() = [](const CScheduleInfo& info) {
    CAgentManager& manager = CAgentManager::Instance();
    if (!manager.Agent() || info.m_strAgentId.empty()) return;
    const std::string file = manager.AgentFilePath(manager.AgentName());
    CSchedule& schedules = CSchedule::Instance();
    if (hv::schedule::RecordStoredNode(file, info.m_strAgentId, info.m_strName) && schedules.m_bEnabled &&
        schedules.m_startScheduler) {
      schedules.m_startScheduler();
    }
  };
  CSchedule::Instance().m_startScheduler = [] { StartScheduler(); };
}

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
  // The longest file name of an agent is the temporary file of a save,
  // "." + name + ".hvx." + six characters; the lock file and the rename
  // journal beside it are shorter.
  constexpr std::size_t kFileNameMax = 255;
  return !name.empty() && name != "." && name != ".." &&
         name.size() + AgentExtension().size() + 9 <= kFileNameMax &&
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
  if (!m_strAgentName.empty()) return name == m_strAgentName || (!m_bReadOnly && RenameAgent(name));
  m_strAgentName = name;
  OpenCache(AgentFolderPath(name));
  return true;
}

std::unique_ptr<CAgentLock> CAgentManager::LockAgent(const std::string& name, bool wait) const {
  return std::make_unique<CAgentLock>(AgentFilePath(name), wait ? CAgentLock::Wait::untilFree : CAgentLock::Wait::no);
}

void CAgentManager::RemoveStaleTemporaries(const std::string& name) const {
  hv::leftovers::RemoveStaleTemporaries(AgentFilesDirectory(), name + "." + AgentExtension());
  hv::leftovers::RemoveStaleTemporaries(AgentFolderPath(name), hv::res::LoadString(hv::res::IDS_CACHE_INDEX));
  hv::leftovers::RemoveStaleTemporaries(AgentFolderPath(name), hv::item_extras::FileName());
  hv::leftovers::RemoveStaleTemporaries(AgentFolderPath(name), hv::cache::DigestsFileName());
}

bool CAgentManager::IsReusableOrphan(const std::string& name) const {
  const std::string folder = AgentFolderPath(name);
  return !hv::fs::Exists(AgentFilePath(name)) && hv::fs::IsDirectory(folder) &&
         hv::leftovers::HoldsOnlyAgentFiles(folder);
}

void CAgentManager::OpenCache(const std::string& folder) {
  m_pCache = std::make_unique<CCache>(folder);
  m_pCache->Open();
  m_pCache->SetTotals(m_pAgent);
  hv::run::LoadLimits(folder);
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
  // The file's name is the agent's: the name inside is an old one when a
  // rename was cut short after the file moved, until the next save.
  m_pAgent->m_strName = m_strAgentName;
  m_pAgent->m_bModified = 0;
  m_pCache->SetTotals(m_pAgent);
  hv::item_extras::Load(*m_pAgent, AgentFolderPath(m_strAgentName));
}

bool CAgentManager::Open(const std::string& requested, Access access) {
  Close(true);
  m_bBusy = false;
  const std::string name = requested.empty() ? StartupAgentName() : requested;
  if (!IsValidAgentName(name)) return false;
  std::unique_ptr<CAgentLock> lock = LockAgent(name, access != Access::read && access != Access::changeIfFree);
  if (access == Access::changeIfFree && !lock->Held()) {
    m_bBusy = hv::fs::IsRegularFile(AgentFilePath(name));
    return false;
  }
  // Repairs only under the lock: without it another process may be halfway.
  if (lock->Held()) SettleRenames(name);
  if (requested.empty() && !AgentExists(name) && lock->Held()) WriteStartupAgent();
  if (!hv::fs::IsRegularFile(AgentFilePath(name))) return false;
  if (lock->Held() && access != Access::read) RemoveStaleTemporaries(name);
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
    return false;
  }
  m_bReadOnly = access == Access::read;
  if (!m_bReadOnly) m_pLock = std::move(lock);
  return true;
}

bool CAgentManager::Save(std::string* error) {
  CAgentAnchor* agent = m_pAgent;
  if (!agent || (!agent->m_bModified && !agent->m_bCacheChanged)) return true;
  if (m_bReadOnly) {
    if (error) *error = "it was opened to read only";
    return false;
  }
  // The index first: the agent file must never name pages the index lost.
  if (!SaveCache()) {
    if (error) *error = CacheSaveFailure();
    return false;
  }
  if (!agent->m_bModified) return true;  // only the index changed
  try {
    hv::fs::ReplaceFile(AgentFilePath(m_strAgentName), [agent](CFile& file) {
      CArchive ar(&file, CArchive::store);
      ar.WriteDWord(static_cast<std::uint32_t>(kFileVersion));
      ar.WriteObject(agent);
      ar.Close();
    });
    hv::item_extras::Save(*agent, AgentFolderPath(m_strAgentName));
    return true;
  } catch (const CException& e) {
    if (error) *error = Reason(e);
  } catch (const std::bad_alloc&) {
    if (error) *error = "out of memory";
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
  m_pLock.reset();
  m_bReadOnly = false;
  return std::move(m_pCache);
}

CAgentAnchor* CAgentManager::Create(const std::string& name) {
  Close(true);
  if (!IsValidAgentName(name)) return nullptr;
  std::unique_ptr<CAgentLock> lock = LockAgent(name, true);
  if (!AgentMissing(name) && (!lock->Held() || !SettleRenames(name))) return nullptr;
  // The agent file is what makes an agent: a folder without it is what an
  // interrupted create or delete left, and is made anew.
  if (!AgentMissing(name) && (!IsReusableOrphan(name) || !hv::fs::RemoveTree(AgentFolderPath(name))))
    return nullptr;
  if (!SetAgentName(name)) return nullptr;
  hv::CrashPoint("create: folder made");
  auto agent = std::make_unique<CAgentAnchor>();
  agent->m_strName = name;
  agent->m_bNameFixed = 1;
  agent->m_bModified = 1;
  m_nFileVersion = kFileVersion;
  m_pAgent = agent.release();
  m_pLock = std::move(lock);
  m_pCache->SetTotals(m_pAgent);
  m_pAgent->AttachNode(0, nullptr, 0);
  return m_pAgent;
}

void CAgentManager::DeleteAgentFile() {
  if (!m_pAgent || m_bReadOnly) return;
  const std::string name = m_strAgentName;
  // The file first: without it the agent is gone, and what a crash leaves of
  // the folder is an orphan that the next create or delete clears.
  if (hv::fs::RemoveFile(AgentFilePath(name))) {
    // The scheduler program would look for the agent at every time it is due.
    hv::schedule::ForgetAgentEntries(AgentFilePath(name));
    hv::CrashPoint("delete: file removed");
    hv::fs::RemoveTree(AgentFolderPath(name));
    if (m_pLock && m_pLock->Held()) RemoveStaleTemporaries(name);
  }
  m_pAgent->m_bModified = 0;
  Close(false);
}

bool CAgentManager::RemoveOrphanFolder(const std::string& name) {
  if (!IsValidAgentName(name) || (m_pAgent && name == m_strAgentName)) return false;
  const std::unique_ptr<CAgentLock> lock = LockAgent(name, true);
  if (!lock->Held() || !SettleRenames(name) || !IsReusableOrphan(name)) return false;
  RemoveStaleTemporaries(name);
  return hv::fs::RemoveTree(AgentFolderPath(name));
}

bool CAgentManager::CreateStartupAgent() {
  const std::string name = StartupAgentName();
  // The open Startup Agent's lock is ours already; a second one would wait
  // for ourselves.
  std::unique_ptr<CAgentLock> lock;
  if (!m_pAgent || m_strAgentName != name) lock = LockAgent(name, true);
  return WriteStartupAgent();
}

bool CAgentManager::WriteStartupAgent() {
  const std::string name = StartupAgentName();
  const std::string file = AgentFilePath(name);
  const std::string folder = AgentFolderPath(name);
  hv::fs::RemoveFile(file);
  hv::fs::RemoveTree(folder);
  if (!hv::fs::EnsureDirectory(folder)) return false;
  // Without its file the agent does not open, but its frameset and help
  // pages still show; the next open tries the file again.
  hv::res::WriteResourceFile(file, hv::res::IDR_STARTUP_AGENT_FILE);
  hv::res::WriteResourceFile(hv::fs::JoinPath(AgentFilesDirectory(), name + ".htm"), hv::res::IDR_STARTUP_FRAMESET);
  if (auto help = CHelpLibrary::Load()) help->CopyTo(folder);
  return true;
}

// ---- cache -------------------------------------------------------------------

bool CAgentManager::SaveCache() {
  if (!m_pAgent || !m_pCache || m_bReadOnly) return false;
  if (!m_pCache->Save()) return false;
  m_pAgent->m_bCacheChanged = 0;
  return true;
}

std::string CAgentManager::CacheSaveFailure() const {
  const int error = m_pCache ? m_pCache->SaveError() : 0;
  // A file size limit stops a write as a full disk does.
  if (error == ENOSPC || error == EDQUOT || error == EFBIG)
    return "the disk is full (" + std::string(std::strerror(error)) + ")";
  return "its cache index cannot be written";
}

void CAgentManager::GarbageCollect() {
  // Without the lock, a file a run has just stored may not be in the index.
  if (!m_pAgent || !m_pCache || m_bReadOnly) return;
  m_pCache->BeginCollection();
  hv::ForEachBottomUp(m_pAgent, [](CAnchor* anchor) {
    anchor->MarkCacheUse();
    return 1;
  });
  m_pCache->Collect();
  RefreshStatistics();
}

void CAgentManager::ResetCache() {
  if (!m_pAgent || !m_pCache || m_bReadOnly) return;
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
  const std::string folder = AgentFolderPath(m_strAgentName);
  hv::fs::MeasureFolder(folder, files, bytes);
  // The previous copies are no part of the cache: their folder is no file.
  struct stat st {};
  const std::string previous = hv::fs::JoinPath(folder, hv::cache::CPreviousCopies::FolderName());
  if (::lstat(previous.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && files > 0) --files;
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

std::uint32_t CAgentManager::NewRunStart() const {
  std::uint32_t latest = m_tRunEnd;
  if (m_pCache) latest = std::max(latest, m_pCache->IndexWrittenAt());
  // Pages are marked in whole seconds: a run starting in the second the
  // last one ended would take that run's pages for its own and skip them.
  // The clock asked is the one every mark is taken from (time() may lag
  // the precise clock by a few milliseconds at a second's turn).
  std::time_t now = std::time(nullptr);
  for (int waited = 0; now <= static_cast<std::time_t>(latest) && waited < 150; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // at most 1.5 s: a clock set back gives up
    now = std::time(nullptr);
  }
  return static_cast<std::uint32_t>(now);
}
