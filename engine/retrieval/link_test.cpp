#include "engine/retrieval/link_test.h"

#include <strings.h>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/anchor.h"
#include "engine/http/url.h"
#include "engine/settings/exception_entry.h"

namespace hv {

namespace {

enum LinkType { unrestricted = 0, withinSite = 1, withinDirectory = 2, outsideSite = 3, insideServer = 4 };

// The top location of the run above the asking anchor, for "outside site".
CAnchor* RunLocationRoot(CAnchor* anchor) {
  for (; anchor; anchor = anchor->m_pParent) {
    if (anchor->IsRunLocationRoot() == 1) return anchor;
  }
  return nullptr;
}

bool Excluded(const LinkQuery& query) {
  CAgentAnchor* agent = query.asking ? query.asking->GetAgent() : nullptr;
  if (!agent) return false;
  if (const CExceptionEntry* entry = agent->LocationEntry(query.locationIndex)) {
    if (HasLineIgnoringCase(entry->m_strExclusions, query.url)) return true;
  }
  std::string extension;
  ExtensionOf(query.url, extension);
  if (extension.empty()) return false;
  const CExceptionEntry* entry = agent->FileTypeEntry(query.fileTypeIndex);
  // People write ".zip" or "zip" for the same thing.
  return entry && (HasLineIgnoringCase(entry->m_strExclusions, extension) ||
                   HasLineIgnoringCase(entry->m_strExclusions, extension.substr(1)));
}

}  // namespace

bool HasLineIgnoringCase(const std::string& text, const std::string& line) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end - start == line.size() && strncasecmp(text.data() + start, line.data(), line.size()) == 0) return true;
    start = end + 2;
  }
  return false;
}

int LinkTest(const LinkQuery& query) {
  if (Excluded(query)) return -1;
  CAnchor* asking = query.asking;
  switch (query.linkType) {
    case unrestricted:
      return query.levels;
    case withinSite:
      if (query.isRoot) return 1;
      return asking && asking->SameSiteAsLocation(query.url) ? query.levels : -1;
    case withinDirectory:
      if (query.isRoot) return query.levels;
      return asking && asking->SameDirectoryAsLocation(query.url) ? query.levels : -1;
    case outsideSite: {
      if (query.isRoot) return 1;
      CAnchor* root = RunLocationRoot(asking);
      if (!root || root->SameSiteAsLocation(query.url)) return -1;
      return query.levels;
    }
    case insideServer:
      if (query.isRoot) return 1;
      return asking && asking->SameServerAsLocation(query.url) ? query.levels : -1;
    default:
      return -1;
  }
}

bool LevelsAloneRefuse(const LinkQuery& query) {
  if (query.levels >= 0) return false;
  LinkQuery withLevels = query;
  withLevels.levels = 0;
  return LinkTest(withLevels) >= 0;
}

int RetrievalLevels(CAnchor* anchor) {
  if (anchor->m_bUseParentSettings && anchor->m_pParent) {
    CAnchor* parent = anchor->m_pParent;
    return RetrievalLevels(parent) - (anchor->m_bNoLevelCost ? 0 : parent->LevelCost());
  }
  return anchor->EffectiveSettings().levels;
}

}  // namespace hv
