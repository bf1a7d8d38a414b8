// The one agent that is open, with its name, its cache index and the folders
// where agent files and agent folders lie.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CAgentAnchor;
class CAgentLock;
class CAnchor;
class CCache;

class CAgentManager {
 public:
  static constexpr unsigned long kFileVersion = 768;

  static CAgentManager& Instance();

  CAgentManager();
  ~CAgentManager();
  CAgentManager(const CAgentManager&) = delete;
  CAgentManager& operator=(const CAgentManager&) = delete;

  CAgentAnchor* Agent() const { return m_pAgent; }
  CCache* Cache() const { return m_pCache.get(); }
  const std::string& AgentName() const { return m_strAgentName; }
  unsigned long FileVersion() const { return m_nFileVersion; }
  // Read by worker threads while a run goes on.
  CAnchor* Running() const { return m_pRunning.load(); }
  void SetRunning(CAnchor* anchor) { m_pRunning = anchor; }

  // Folders: agent files lie in the first, agent folders in the second.
  const std::string& AgentFilesDirectory() const;
  const std::string& AgentFoldersDirectory() const;
  // Replaces both folders for this process (unattended runs).
  void SetDirectories(std::string agentFiles, std::string agentFolders);
  // Back to the folders of the settings.
  void ResetDirectories();

  std::string AgentFilePath(const std::string& name) const;
  std::string AgentFolderPath(const std::string& name) const;
  std::string StartupPagePath() const;

  // A name that stays inside the agents folder (not empty, not "." or "..",
  // no '/', no NUL) and whose every file fits in a file name.
  static bool IsValidAgentName(const std::string& name);
  bool AgentExists(const std::string& name) const;
  bool AgentMissing(const std::string& name) const;
  // base, then "base(1)", "base(2)" ... until both file and folder are absent.
  std::string NewAgentName(const std::string& base) const;

  // changeIfFree: to change it, but only when no other program holds it
  // (then nothing is opened and Busy() says so).
  enum class Access { change, changeIfFree, read };
  // Saves the open agent, then opens the named one (empty: the Startup
  // Agent, created when missing). True when an agent is open afterwards.
  // To change it, the agent's lock is taken first (waiting while another
  // process holds it) and held until the agent is closed, and temporary
  // files of unfinished saves are removed. To read it, nothing waits, and
  // nothing saves, collects, clears, renames or deletes it. Either settles a rename that was cut short,
  // when the lock is free.
  bool Open(const std::string& name, Access access = Access::change);
  // The last Open failed only because another program held the agent.
  bool Busy() const { return m_bBusy; }
  // Writes the cache index when it changed and the agent file when the agent
  // was modified; false on failure or for an agent opened to read, with the
  // reason in error when given (what was not written stays to be written).
  bool Save(std::string* error = nullptr);
  // Saves and destroys the open agent; makes a new agent with the name the
  // current one, holding its lock. Null when the name is refused. An agent
  // folder without its agent file that holds only the engine's files (left
  // by an interrupted create or delete) is taken over.
  CAgentAnchor* Create(const std::string& name);
  // Destroys the open agent in memory, after saving it when save is true.
  void Close(bool save);
  // Deletes the agent file and folder of the open agent, then destroys it.
  void DeleteAgentFile();
  // Deletes what an interrupted create or delete left of the named agent: a
  // folder without its agent file, holding only the engine's files. False
  // when there is no such folder.
  bool RemoveOrphanFolder(const std::string& name);
  // Renames (an agent is current) or selects the agent name; the empty name
  // clears it. False when the name is refused or the files cannot be moved.
  bool SetAgentName(const std::string& name);
  // Writes the Startup Agent's file, frameset and help files afresh. False
  // when its folder cannot be made.
  bool CreateStartupAgent();

  // Counts the files of the agent's folder into its totals and posts them.
  void RefreshStatistics();
  // Posts WM_HV_STATISTICS with the agent's totals to the main window.
  void PostStatistics();

  // The cache of the open agent.
  // Writes its index; false when it could not be written.
  bool SaveCache();
  // Why the last SaveCache failed, as the user is told.
  std::string CacheSaveFailure() const;
  // Drops every record no anchor of the agent uses, then recounts the folder.
  void GarbageCollect();
  // Deletes the agent's folder with everything in it and starts an empty
  // index there (the Startup Agent gets its help files back).
  void ResetCache();

  // The agent's byte total reached its size limit: a run that is draining
  // its queue stops. The transfer server installs both.
  std::function<bool()> m_runIsDraining;
  std::function<void()> m_stopRun;
  void SizeLimitReached();

  std::uint32_t m_tRunStart = 0;  // when the current or last run started
  std::uint32_t m_tRunEnd = 0;    // when the last run of this process ended
  // A run's start, in whole seconds after every time stamp an earlier run
  // left: waits for the next second when one ended in this one.
  std::uint32_t NewRunStart() const;
  // Runs of this process have nobody to ask (a scheduled run): credentials
  // that are missing or refused end the page's load.
  std::atomic<bool> m_bUnattended{false};

  // Called by the agent's DeleteTree: the agent is going away. Clears the
  // agent and its name and hands over its cache index, which the anchors
  // still point into until the tree is gone.
  std::unique_ptr<CCache> ReleaseAgent(CAgentAnchor* agent);

 private:
  std::unique_ptr<CAgentLock> LockAgent(const std::string& name, bool wait) const;
  void RemoveStaleTemporaries(const std::string& name) const;
  bool IsReusableOrphan(const std::string& name) const;
  bool WriteStartupAgent();

  // Renames (agent_manager_rename.cpp). The journal ".OLD.hvx.to" names the
  // new name while the folder and then the file move.
  bool RenameAgent(const std::string& name);
  std::string RenameJournalPath(const std::string& name) const;
  // Settles every cut-short rename from or to the name (the caller holds its
  // lock); false when one is left because its other name is locked.
  bool SettleRenames(const std::string& name);
  void SettleRename(const std::string& from, const std::string& to);

  void ReadAgentFile(const std::string& path);
  // Creates and opens the cache index of the agent folder.
  void OpenCache(const std::string& folder);

  CAgentAnchor* m_pAgent = nullptr;  // owned: ends with its DeleteTree
  std::unique_ptr<CAgentLock> m_pLock;  // the open agent's
  bool m_bReadOnly = false;  // opened to read: its files are never touched
  bool m_bBusy = false;
  std::unique_ptr<CCache> m_pCache;
  std::string m_strAgentName;
  unsigned long m_nFileVersion = kFileVersion;
  std::atomic<CAnchor*> m_pRunning{nullptr};
  bool m_bDirectoriesSet = false;
  std::string m_strAgentFilesDir;
  std::string m_strAgentFoldersDir;
};
