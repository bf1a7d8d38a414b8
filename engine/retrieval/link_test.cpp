#include "engine/retrieval/link_test.h"

#include <strings.h>

#include <cctype>
#include <string_view>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/anchor.h"
#include "engine/cache/page_child.h"
#include "engine/http/url.h"
#include "engine/settings/exception_entry.h"
#include "harvion/ui_node.h"

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

// The media type alone, lower-cased: "Text/CSS; charset=x" is "text/css".
std::string MediaType(const std::string& contentType) {
  std::string type = contentType.substr(0, contentType.find(';'));
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!type.empty() && blank(type.back())) type.pop_back();
  std::size_t start = 0;
  while (start < type.size() && blank(type[start])) ++start;
  type.erase(0, start);
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return type;
}

bool StartsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Scripts and the data pages load with them.
bool IsScriptType(const std::string& type) {
  return type == "application/javascript" || type == "application/x-javascript" ||
         type == "application/ecmascript" || type == "application/json" || EndsWith(type, "+json");
}

// Fonts and media; many servers know no type for a font.
bool IsMediaType(const std::string& type) {
  return StartsWith(type, "font/") || StartsWith(type, "audio/") || StartsWith(type, "video/") ||
         StartsWith(type, "application/font-") || StartsWith(type, "application/x-font-") ||
         type == "application/vnd.ms-fontobject" || type == "application/octet-stream";
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

bool IsRequisite(int linkKind) {
  return linkKind == CPageChild::kEmbedded || linkKind == CPageChild::kStyle || linkKind == CPageChild::kMedia;
}

bool LoadDetailKeeps(int loadDetail, int linkKind) {
  switch (linkKind) {
    case CPageChild::kStyle:
      return loadDetail >= CUINode::ldTextOnly;
    case CPageChild::kEmbedded:
    case CPageChild::kMedia:
      return loadDetail >= CUINode::ldTextAndGraphics;
    default:
      return true;
  }
}

bool ContentTypeWanted(const std::string& contentType, int loadDetail, int linkKind) {
  if (loadDetail == CUINode::ldAllFiles) return true;
  const std::string type = MediaType(contentType);
  if (StartsWith(type, "text/")) return true;
  if (loadDetail == CUINode::ldSiteMap) return false;
  // A server that knows no type for a script still sends the page's script.
  if (linkKind == CPageChild::kStyle && (IsScriptType(type) || type == "application/octet-stream")) return true;
  if (loadDetail != CUINode::ldTextAndGraphics) return false;
  return StartsWith(type, "image/") || (linkKind == CPageChild::kMedia && IsMediaType(type));
}

std::string AcceptTypes(int loadDetail, int linkKind) {
  if (loadDetail == CUINode::ldAllFiles) return "*/*";
  std::string types = "text/*";
  if (loadDetail == CUINode::ldSiteMap) return types;
  if (linkKind == CPageChild::kStyle) types += ",application/javascript,application/json,application/octet-stream";
  if (loadDetail != CUINode::ldTextAndGraphics) return types;
  types += ",image/*";
  if (linkKind == CPageChild::kMedia) types += ",font/*,audio/*,video/*,application/octet-stream";
  return types;
}

int LinkTest(const LinkQuery& query) {
  if (Excluded(query)) return -1;
  // The location strategy decides which pages a run reads; a page read
  // takes what it needs from wherever that is.
  if (query.anyServer) return query.levels;
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
