// The exported entry points that read pages from the disk: importing the
// links of a local file and writing a stored page anew.
#include <mutex>
#include <string>

#include "engine/agent/agent_manager.h"
#include "engine/agent/guarded.h"
#include "engine/cache/cache.h"
#include "engine/html/local_parser.h"
#include "harvion/agent_files.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "platform/files/file.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

using hv::Guarded;

int CSafClient::ImportLocalFile(CSafNode* node, const char* path) {
  HvImportCounts counts;
  return ImportLocalFileCounted(node, path, counts);
}

int ImportLocalFileCounted(CSafNode* node, const char* path, HvImportCounts& counts) {
  counts = HvImportCounts();
  return Guarded(-1, [&] {
    CFile file;
    if (!path || !file.Open(path, CFile::modeRead)) {
      DisplayError(hv::res::IDS_NO_LOCAL_FILE, CSafClient::GetSafClient()->GetMainWnd());
      return -1;
    }
    CLocalParser parser(node);
    char buffer[4096];
    try {
      for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) parser.Parse(buffer, n);
    } catch (const CFileException&) {
      // A read error ends the file; what was read is imported.
    }
    counts.imported = parser.Created();
    counts.refused = parser.Refused();
    counts.relative = parser.Relative();
    counts.otherScheme = parser.OtherScheme();
    counts.noHost = parser.NoHost();
    return parser.Created();
  });
}

void CSafClient::Reparse(const char* path) {
  Guarded(0, [&] {
    CAgentManager& manager = CAgentManager::Instance();
    CCache* cache = manager.Cache();
    // A run rewrites its pages itself.
    if (!cache || !path || manager.Running()) return 0;
    const std::string text = path;
    if (text.size() <= 3 || text[0] != '/') return 0;
    const std::string name = text.substr(text.rfind('/') + 1);
    CPageDescr* page;
    {
      std::lock_guard guard(CCache::Lock());
      page = name.empty() ? nullptr : cache->Find(name);
    }
    if (page) page->Relink(*cache);
    return 0;
  });
}
