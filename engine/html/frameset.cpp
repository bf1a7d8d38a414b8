// The two-frame page that shows an agent beside a web page or a stored copy:
// one per agent, written into the agent's folder.
#include <dirent.h>
#include <fnmatch.h>

#include <cstring>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/guarded.h"
#include "engine/html/attribute_text.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"

namespace {

// The frameset text with the three arguments put in as data, never as part
// of the format.
std::string FormatFrameSet(const std::vector<std::string>& args) {
  const std::string format = hv::res::LoadString(hv::res::IDS_FRAMESET);
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next < args.size()) out += args[next++];
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

// Deletes the agent's earlier framesets; returns their count and bytes.
void RemoveOldFrameSets(const std::string& folder, std::int64_t& files, std::int64_t& bytes) {
  files = bytes = 0;
  std::vector<std::string> old;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir))
      if (fnmatch("frm*.htm", entry->d_name, FNM_CASEFOLD) == 0) old.push_back(entry->d_name);
    closedir(dir);
  }
  for (const std::string& name : old) {
    const std::string path = hv::fs::JoinPath(folder, name);
    const std::int64_t size = hv::fs::FileSize(path);
    if (!hv::fs::IsRegularFile(path) || !hv::fs::RemoveFile(path)) continue;
    ++files;
    bytes += size;
  }
}

}  // namespace

int CSafClient::CreateFrameSet(const char* address, char* path, int size) {
  if (path && size > 0) *path = '\0';
  return hv::Guarded(0, [&] {
    if (!address || !path || size <= 0) return 0;
    CAgentManager& manager = CAgentManager::Instance();
    CAgentAnchor* agent = manager.Agent();
    std::string name = manager.AgentName();
    if (!agent) {
      name = hv::res::LoadString(hv::res::IDS_STARTUP_AGENT);
      if (!manager.AgentExists(name) && !manager.CreateStartupAgent()) return 0;
    }
    const std::string folder = manager.AgentFolderPath(name);
    std::int64_t oldFiles = 0, oldBytes = 0;
    RemoveOldFrameSets(folder, oldFiles, oldBytes);
    if (agent && oldFiles > 0) {
      agent->AddFiles(static_cast<std::int32_t>(-oldFiles));
      agent->AddBytes(-oldBytes);
    }
    std::string file = hv::fs::GetTempFileName(folder, "FRM");
    if (file.empty()) {
      DisplayError(hv::res::IDS_NO_TEMPORARY_FILE, GetSafClient()->GetMainWnd());
      return 0;
    }
    hv::fs::RemoveFile(file);
    file.replace(file.size() - 3, 3, "HTM");
    const std::string text = FormatFrameSet({hv::AttributeText(name),
                                             hv::res::LoadString(hv::res::IDS_AGENT_EXTENSION),
                                             hv::AttributeText(address)});
    hv::fs::WriteWholeFile(file, text.data(), text.size());
    if (agent) {
      agent->AddFiles(1);
      agent->AddBytes(static_cast<std::int64_t>(text.size()));
    }
    if (file.size() >= static_cast<std::size_t>(size)) return 0;  // the caller's buffer is too small
    std::memcpy(path, file.c_str(), file.size() + 1);
    return 1;
  });
}
