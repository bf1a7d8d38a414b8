#include "engine/html/requisite_tags.h"

#include <cstring>
#include <iterator>

#include "engine/cache/page_child.h"

namespace hv::html {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A preload is read as what its "as" says it is.
int PreloadKind(std::string_view as) {
  as = Trimmed(as);
  if (EqualNoCase(as, "style") || EqualNoCase(as, "script")) return CPageChild::kStyle;
  if (EqualNoCase(as, "image")) return CPageChild::kEmbedded;
  return CPageChild::kMedia;
}

struct Rule {
  const SGMLTagDef* tag;
  RequisiteLink links[kMaxRequisites];
};

// LINK is not here: its one link depends on its rel.
const Rule kRules[] = {
    {&kAudioTag, {{0, CPageChild::kMedia, false}}},
    {&kEmbedTag, {{0, CPageChild::kMedia, false}}},
    {&kIframeTag, {{0, CPageChild::kFrame, false}}},
    {&kImgTag, {{kImgSrcset, CPageChild::kEmbedded, true}}},
    {&kObjectTag, {{0, CPageChild::kMedia, false}}},
    {&kScriptTag, {{0, CPageChild::kStyle, false}}},
    {&kSourceTag, {{0, CPageChild::kMedia, false}, {1, CPageChild::kEmbedded, true}}},
    {&kTrackTag, {{0, CPageChild::kMedia, false}}},
    {&kVideoTag, {{0, CPageChild::kEmbedded, false}, {1, CPageChild::kMedia, false}}},
};

}  // namespace

int LinkRelKind(std::string_view rel, std::string_view as) {
  bool preload = false;
  bool icon = false;
  while (!rel.empty()) {
    std::size_t end = 0;
    while (end < rel.size() && !IsBlank(rel[end])) ++end;
    const std::string_view token = rel.substr(0, end);
    if (EqualNoCase(token, "stylesheet") || EqualNoCase(token, "modulepreload") || EqualNoCase(token, "manifest"))
      return CPageChild::kStyle;
    preload = preload || EqualNoCase(token, "preload");
    icon = icon || EqualNoCase(token, "icon") || EqualNoCase(token, "apple-touch-icon");
    rel.remove_prefix(end);
    while (!rel.empty() && IsBlank(rel.front())) rel.remove_prefix(1);
  }
  if (preload) return PreloadKind(as);
  return icon ? CPageChild::kEmbedded : -1;
}

int RequisiteLinks(const SGMLTagDef& tag, const CSGMLAttribute* attributes, RequisiteLink (&out)[kMaxRequisites]) {
  if (std::strcmp(tag.name, kLinkTag.name) == 0) {
    constexpr int kAs = 0, kHref = 1, kRel = 2;
    const int kind = attributes[kRel].m_bPresent ? LinkRelKind(attributes[kRel].m_strValue, attributes[kAs].m_strValue) : -1;
    if (kind < 0) return 0;
    out[0] = {kHref, kind, false};
    return 1;
  }
  for (const Rule& rule : kRules) {
    if (std::strcmp(tag.name, rule.tag->name) != 0) continue;
    int found = 0;
    for (const RequisiteLink& link : rule.links)
      if (link.attribute >= 0) out[found++] = link;
    return found;
  }
  return 0;
}

}  // namespace hv::html
