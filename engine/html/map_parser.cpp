#include "engine/html/map_parser.h"

#include <algorithm>
#include <iterator>
#include <mutex>

#include "engine/agent/anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "harvion/exports.h"

namespace {

const char* const kHref[] = {"HREF"};
const char* const kBackground[] = {"BACKGROUND"};
const char* const kAction[] = {"ACTION"};
const char* const kSrc[] = {"SRC"};
const char* const kImg[] = {"ISMAP", "SRC"};
const char* const kUrl[] = {"URL"};

enum TagIndex { kTagA, kTagArea, kTagBase, kTagBody, kTagForm, kTagFrame, kTagImg, kTagInput, kTagMeta, kTagTitle };

const SGMLTagDef kTags[] = {
    {"A", kHref, 1, 5},      {"AREA", kHref, 1, 1}, {"BASE", kHref, 1, 5}, {"BODY", kBackground, 1, 5},
    {"FORM", kAction, 1, 5}, {"FRAME", kSrc, 1, 1}, {"IMG", kImg, 2, 1},   {"INPUT", kSrc, 1, 1},
    {"META", kUrl, 1, 1},    {"TITLE", nullptr, 0, 5},
};
static_assert(std::size(kTags) == kTagTitle + 1);
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100};

constexpr int kIsmap = 0;
constexpr int kImgSrc = 1;

std::string Trimmed(const std::string& text) {
  constexpr const char* kBlanks = " \t\r\n\f\v";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

std::string Normalised(std::string text) {
  CreateName(text);
  return text;
}

}  // namespace

CMapParser::CMapParser(CCache& cache, CLinkOwner* owner, bool readOnly)
    : CContentParser(cache, owner ? owner->OwnerPage() : nullptr, &kDtd), m_pOwner(owner) {
  if (!readOnly) OpenFiles();
}

CMapParser::~CMapParser() { ReleasePending(); }

const std::string& CMapParser::Resolved(const std::string& value) {
  // Bounded, so a page of endless distinct links cannot grow it without end.
  constexpr std::size_t kMaxRemembered = 4096;
  if (const auto it = m_resolved.find(value); it != m_resolved.end()) return it->second;
  if (m_resolved.size() >= kMaxRemembered) m_resolved.clear();
  return m_resolved.emplace(value, m_pPage->ResolveLink(value, m_strBase)).first->second;
}

void CMapParser::ClearPending() {
  m_bLinkPending = 0;
  m_pPendingLocation = nullptr;
  m_pPendingChild = nullptr;
}

void CMapParser::ReleasePending() {
  if (m_bLinkPending && m_pOwner) m_pOwner->ReleaseLink(m_pPendingLocation);
  ClearPending();
}

void CMapParser::AddLink(const SGMLTagDef* tag, int tagLength, int tagIndex, const CSGMLAttribute* attributes,
                         int attributeIndex, int linkType, bool collectText) {
  if (tagIndex == kTagA) ReleasePending();
  const CSGMLAttribute& attribute = attributes[attributeIndex];
  if (!attribute.m_bPresent || attribute.m_strValue.empty() || !m_pPage || !m_pOwner) return;
  const std::string& address = Resolved(attribute.m_strValue);
  if (address.empty()) return;  // not http: the tag is copied as it is

  if (tagIndex == kTagA) {
    CPageChild* record = nullptr;
    m_pPendingLocation = m_pOwner->AddLink(address, linkType, collectText, nullptr, &record);
    m_pPendingChild = record;
    m_bLinkPending = collectText && m_pPendingLocation ? 1 : 0;
  } else {
    m_pOwner->AddLink(address, linkType, false, nullptr, nullptr);
  }
  if (m_bFailed) return;

  // The address keeps the value's fragment, so a link into a stored page
  // still lands on its place. Normalising the fragment alone gives what it
  // is in the normalised value: it starts with '#', no blank.
  const std::size_t hash = attribute.m_strValue.find('#');
  const std::string fragment =
      hash == std::string::npos ? std::string() : Normalised(attribute.m_strValue.substr(hash));
  const std::string replacement = ReplacementForAddress(address, fragment, linkType);
  if (!replacement.empty()) WriteRewrittenTag(tagLength, tag->attributes[attributeIndex], attribute, replacement);
}

void CMapParser::OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) {
  switch (tagIndex) {
    case kTagA:
      AddLink(tag, tagLength, tagIndex, attributes, 0, CPageChild::kPage, true);
      m_text.Clear();
      break;
    case kTagArea:
      AddLink(tag, tagLength, tagIndex, attributes, 0, CPageChild::kPage, false);
      break;
    case kTagBase: {
      const CSGMLAttribute& href = attributes[0];
      if (!href.m_bPresent || href.m_strValue.empty()) break;
      m_strBase = Trimmed(href.m_strValue);
      m_resolved.clear();
      // The copy's links are absolute or local: a BASE would misdirect them.
      if (!m_bFailed) PassOnUpTo(tagLength, nullptr);
      break;
    }
    case kTagBody:
      AddLink(tag, tagLength, tagIndex, attributes, 0, CPageChild::kEmbedded, false);
      break;
    case kTagForm: {
      // Forms are not followed, but the copy must still submit to the site.
      const CSGMLAttribute& action = attributes[0];
      if (m_bFailed || !m_pPage || !action.m_bPresent || action.m_strValue.empty()) break;
      const std::string& address = Resolved(action.m_strValue);
      if (!address.empty()) WriteRewrittenTag(tagLength, tag->attributes[0], action, address);
      break;
    }
    case kTagFrame:
      AddLink(tag, tagLength, tagIndex, attributes, 0, CPageChild::kFrame, false);
      break;
    case kTagImg:
      // A server-side image map: the link's target is no page to keep.
      if (attributes[kIsmap].m_bPresent && m_bLinkPending) ReleasePending();
      AddLink(tag, tagLength, tagIndex, attributes, kImgSrc, CPageChild::kEmbedded, false);
      break;
    case kTagInput:
    case kTagMeta:
      AddLink(tag, tagLength, tagIndex, attributes, 0, CPageChild::kEmbedded, false);
      break;
    case kTagTitle:
      m_text.Clear();
      break;
    default:
      break;
  }
}

bool CMapParser::CollectsText(int tagIndex) const {
  return (tagIndex == kTagA || tagIndex == kTagTitle) && !m_text.Full();
}

void CMapParser::OnCharacter(const SGMLTagDef*, int tagIndex, int code) {
  if (CollectsText(tagIndex)) m_text.AddCharacter(code);
}

void CMapParser::OnText(const SGMLTagDef*, int tagIndex, const char* text, std::size_t length) {
  if (CollectsText(tagIndex)) m_text.AddBytes(text, length);
}

void CMapParser::OnEndTag(const SGMLTagDef*, int tagIndex) {
  if (tagIndex == kTagA) {
    std::string text = m_text.Take();
    CreateName(text);
    if (m_pPendingChild) {
      std::lock_guard guard(CCache::Lock());
      m_pPendingChild->m_strTitle = text;
    }
    if (m_pPendingLocation && !text.empty()) m_pPendingLocation->SetName(text, 1);
    if (m_bLinkPending && m_pOwner) m_pOwner->CompleteLink(m_pPendingLocation);
    ClearPending();
  } else if (tagIndex == kTagTitle) {
    std::string title = m_text.Take();
    CreateName(title);
    if (m_pPage) {
      std::lock_guard guard(CCache::Lock());
      m_pPage->m_strTitle = title;
    }
    if (m_pOwner) m_pOwner->SetTitle(title);
  }
}
