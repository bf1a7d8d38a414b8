// The tags whose attributes name what a page needs to look as it did:
// stylesheets, scripts, inline frames, pictures of a srcset, fonts and
// media. The parser of a retrieved page and the one that writes a stored
// copy anew list the same rows and read the same links from them.
#pragma once

#include <string_view>

#include "engine/html/sgml_parser.h"

namespace hv::html {

// Attribute names, sorted as the tokenizer needs them; STYLE last, read
// for the CSS of the tag.
inline constexpr const char* kLinkAttributes[] = {"AS", "HREF", "REL", "STYLE"};
inline constexpr const char* kSourceAttributes[] = {"SRC", "SRCSET", "STYLE"};
inline constexpr const char* kVideoAttributes[] = {"POSTER", "SRC", "STYLE"};
inline constexpr const char* kObjectAttributes[] = {"DATA", "STYLE"};
inline constexpr const char* kSrcAttribute[] = {"SRC", "STYLE"};
inline constexpr const char* kImgAttributes[] = {"ISMAP", "SRC", "SRCSET", "STYLE"};
inline constexpr int kImgIsmap = 0;
inline constexpr int kImgSrc = 1;
inline constexpr int kImgSrcset = 2;

// The rows of the tag tables. All are empty elements: they are never put on
// the stack, so the text of a link or title is collected around them as
// before, and their content (a script's, an inline frame's) stays text.
inline constexpr SGMLTagDef kAudioTag = {"AUDIO", kSrcAttribute, 2, 1};
inline constexpr SGMLTagDef kEmbedTag = {"EMBED", kSrcAttribute, 2, 1};
inline constexpr SGMLTagDef kIframeTag = {"IFRAME", kSrcAttribute, 2, 1};
inline constexpr SGMLTagDef kImgTag = {"IMG", kImgAttributes, 4, 1};
inline constexpr SGMLTagDef kLinkTag = {"LINK", kLinkAttributes, 4, 1};
inline constexpr SGMLTagDef kObjectTag = {"OBJECT", kObjectAttributes, 2, 1};
inline constexpr SGMLTagDef kScriptTag = {"SCRIPT", kSrcAttribute, 2, 1};
inline constexpr SGMLTagDef kSourceTag = {"SOURCE", kSourceAttributes, 3, 1};
inline constexpr SGMLTagDef kTrackTag = {"TRACK", kSrcAttribute, 2, 1};
inline constexpr SGMLTagDef kVideoTag = {"VIDEO", kVideoAttributes, 3, 1};

// One attribute of a start tag that names a link.
struct RequisiteLink {
  int attribute = -1;       // its slot among the tag's attributes
  int linkType = 0;         // a CPageChild::LinkKind
  bool srcset = false;      // a list of candidates, each a link
};

// The links of a start tag of the rows above, IMG's srcset among them
// (IMG's SRC is the parsers' own); at most kMaxRequisites, the number
// found. A LINK has one only for a rel whose target the page needs.
inline constexpr int kMaxRequisites = 2;
int RequisiteLinks(const SGMLTagDef& tag, const CSGMLAttribute* attributes, RequisiteLink (&out)[kMaxRequisites]);

// The kind of a LINK's target by its rel and as values, or -1 when the
// page does not need it (canonical, alternate, next and the like).
int LinkRelKind(std::string_view rel, std::string_view as);

}  // namespace hv::html
