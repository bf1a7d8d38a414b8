// Renaming the open agent moves its folder and then its file, the file last
// because the file is what makes the agent. A journal beside the agent files,
// ".OLD.hvx.to" holding the new name, lives while they move, so that the next
// command on either name can tell a cut-short rename from an orphan folder:
// while the file still has the old name the rename is undone, once it has
// the new one only the journal is left to delete.
#include <memory>
#include <utility>
#include <vector>

#include "engine/agent/agent_leftovers.h"
#include "engine/agent/agent_lock.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/crash_point.h"
#include "engine/cache/cache.h"
#include "engine/schedule/run_entries.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

namespace {

constexpr char kJournalSuffix[] = ".to";

// The new name a journal holds; empty when it cannot be read or is no name.
std::string ReadJournal(const std::string& path) {
  CFile file;
  // A pipe in its place would never end.
  if (!hv::fs::IsRegularFile(path) || !file.Open(path, CFile::modeRead)) return {};
  char text[256];
  std::size_t size = 0;
  try {
    size = file.Read(text, sizeof text);
  } catch (const CFileException&) {
    return {};
  }
  const std::string name(text, size);
  return size < sizeof text && CAgentManager::IsValidAgentName(name) ? name : std::string();
}

}  // namespace

std::string CAgentManager::RenameJournalPath(const std::string& name) const {
  return CAgentLock::HiddenBeside(AgentFilePath(name), kJournalSuffix);
}

bool CAgentManager::RenameAgent(const std::string& name) {
  const std::string old = m_strAgentName;
  std::unique_ptr<CAgentLock> lock = LockAgent(name, false);
  // Renaming onto another agent's file or folder would destroy that agent.
  if (!lock->Held() || !AgentMissing(name)) return false;
  const std::string journal = RenameJournalPath(old);
  try {
    hv::fs::WriteWholeFile(journal, name.data(), name.size());
  } catch (const CException&) {
    hv::fs::RemoveFile(journal);
    return false;
  }
  hv::CrashPoint("rename: journal written");
  const std::string oldFolder = AgentFolderPath(old), newFolder = AgentFolderPath(name);
  const bool hasFolder = hv::fs::Exists(oldFolder);
  if (hasFolder && !hv::fs::RenamePath(oldFolder, newFolder)) {
    hv::fs::RemoveFile(journal);
    return false;
  }
  hv::CrashPoint("rename: folder moved");
  const std::string oldFile = AgentFilePath(old);
  if (hv::fs::Exists(oldFile) && !hv::fs::RenamePath(oldFile, AgentFilePath(name))) {
    if (hasFolder) hv::fs::RenamePath(newFolder, oldFolder);
    hv::fs::RemoveFile(journal);
    return false;
  }
  hv::CrashPoint("rename: file moved");
  hv::fs::RemoveFile(journal);
  // The scheduled nodes keep their runs under the new name.
  hv::schedule::MoveAgentEntries(oldFile, old, AgentFilePath(name), name);
  m_strAgentName = name;
  if (m_pCache) m_pCache->SetDirectory(newFolder);
  m_pLock = std::move(lock);  // the old name's lock file goes with its lock
  return true;
}

bool CAgentManager::SettleRenames(const std::string& name) {
  const std::string tail = "." + hv::res::LoadString(hv::res::IDS_AGENT_EXTENSION) + kJournalSuffix;
  std::vector<std::string> entries;
  hv::leftovers::ListFolder(AgentFilesDirectory(), entries);
  bool settled = true;
  for (const std::string& entry : entries) {
    if (entry.size() <= tail.size() + 1 || entry[0] != '.' ||
        entry.compare(entry.size() - tail.size(), tail.size(), tail) != 0)
      continue;
    const std::string from = entry.substr(1, entry.size() - tail.size() - 1);
    if (!IsValidAgentName(from)) continue;
    const std::string to = ReadJournal(RenameJournalPath(from));
    if (from != name && to != name) continue;
    // Both names must be ours: a live process may be renaming right now.
    const std::string other = from == name ? to : from;
    std::unique_ptr<CAgentLock> otherLock;
    if (!other.empty() && other != name) {
      otherLock = LockAgent(other, false);
      if (!otherLock->Held()) {
        settled = false;
        continue;
      }
    }
    SettleRename(from, to);
  }
  return settled;
}

void CAgentManager::SettleRename(const std::string& from, const std::string& to) {
  if (!to.empty() && hv::fs::Exists(AgentFilePath(from)) && !hv::fs::Exists(AgentFolderPath(from)) &&
      !hv::fs::Exists(AgentFilePath(to)) && hv::fs::IsDirectory(AgentFolderPath(to)))
    hv::fs::RenamePath(AgentFolderPath(to), AgentFolderPath(from));
  hv::fs::RemoveFile(RenameJournalPath(from));
}
