// Whether a run goes on to a location: the exclusion lists of the agent and
// the location strategy in force, and the link levels left.
#pragma once

#include <string>

class CAnchor;

namespace hv {

// What the strategy in force says for one location.
struct LinkQuery {
  bool isRoot = false;  // the location the run started from (or one of its top locations)
  int levels = 0;       // levels left to grant
  int linkType = 0;     // the location strategy: 0 to 4
  CAnchor* asking = nullptr;  // whose site, server or directory the location must share
  std::string url;
  int fileTypeIndex = 0;  // entries of the agent's lists whose exclusions apply
  int locationIndex = 0;
  // A requisite the item takes from any server: the exclusions and the
  // levels still apply, the location strategy does not.
  bool anyServer = false;
};

// The depth granted to the location, -1 when it is not to be retrieved.
// Excluded locations and file types win over every strategy.
int LinkTest(const LinkQuery& query);

// Whether the query is refused for want of levels alone: with levels left,
// the strategy and the exclusions would grant it.
bool LevelsAloneRefuse(const LinkQuery& query);

// The link levels a run grants at the anchor: its own (a negative stored
// value is all the levels its strategy allows), or its parent's less what
// the parent costs.
int RetrievalLevels(CAnchor* anchor);

// Whether a link of the kind (CPageChild::LinkKind) is something its page
// needs to be shown (an image, a stylesheet, a script, a font), stored as a
// plain file, rather than a page of its own.
bool IsRequisite(int linkKind);
// Whether a file-type strategy (the load detail) keeps links of the kind:
// a site map keeps no requisite, text keeps stylesheets and scripts too,
// graphics keep every kind.
bool LoadDetailKeeps(int loadDetail, int linkKind);
// Whether an answer of the content type is taken for a link of the kind
// under the load detail: stylesheets and scripts (whose types name
// scripts and data, not text) count as text, fonts and media as graphics.
bool ContentTypeWanted(const std::string& contentType, int loadDetail, int linkKind);
// The Accept header's types for such a request.
std::string AcceptTypes(int loadDetail, int linkKind);

// Whether text holds line as one of its CR LF separated lines, ignoring case.
bool HasLineIgnoringCase(const std::string& text, const std::string& line);

}  // namespace hv
