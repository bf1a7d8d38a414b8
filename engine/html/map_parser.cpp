#include "engine/html/map_parser.h"

#include <algorithm>
#include <iterator>
#include <mutex>

#include "engine/agent/anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "engine/html/css_rewriter.h"
#include "engine/html/requisite_tags.h"
#include "engine/html/srcset.h"
#include "engine/http/url.h"
#include "harvion/exports.h"

namespace {

const char* const kHref[] = {"HREF", "STYLE"};
const char* const kBackground[] = {"BACKGROUND", "STYLE"};
const char* const kAction[] = {"ACTION", "STYLE"};
const char* const kSrc[] = {"SRC", "STYLE"};
const char* const kUrl[] = {"STYLE", "URL"};  // sorted: the tokenizer looks names up in order
const char* const kStyle[] = {"STYLE"};

enum TagIndex {
  kTagA,
  kTagArea,
  kTagAudio,
  kTagBase,
  kTagBody,
  kTagEmbed,
  kTagForm,
  kTagFrame,
  kTagIframe,
  kTagImg,
  kTagInput,
  kTagLink,
  kTagMeta,
  kTagObject,
  kTagScript,
  kTagSource,
  kTagStyle,
  kTagTitle,
  kTagTrack,
  kTagVideo,
};

const SGMLTagDef kTags[] = {
    {"A", kHref, 2, 5},      {"AREA", kHref, 2, 1},  hv::html::kAudioTag,     {"BASE", kHref, 1, 5},
    {"BODY", kBackground, 2, 5}, hv::html::kEmbedTag, {"FORM", kAction, 2, 5}, {"FRAME", kSrc, 2, 1},
    hv::html::kIframeTag,    hv::html::kImgTag,      {"INPUT", kSrc, 2, 1},   hv::html::kLinkTag,
    {"META", kUrl, 2, 1},    hv::html::kObjectTag,   hv::html::kScriptTag,    hv::html::kSourceTag,
    {"STYLE", kStyle, 1, 5}, {"TITLE", nullptr, 0, 5}, hv::html::kTrackTag,   hv::html::kVideoTag,
};
static_assert(std::size(kTags) == kTagVideo + 1);
// Every other tag is read for its style attribute.
const SGMLTagDef kOtherTags = {"", kStyle, 1, 1};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100, &kOtherTags};

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

CMapParser::~CMapParser() {
  ReleasePending();
  if (m_resolved) ReturnTable(std::move(m_resolved));
}

namespace {
// A few are enough: a thread parses one page at a time, or a page and the
// frames or stylesheet it reads on the way.
constexpr std::size_t kKeptTables = 4;
}  // namespace

std::vector<CMapParser::ResolvedTable>& CMapParser::KeptTables() {
  thread_local std::vector<ResolvedTable> kept;
  return kept;
}

CMapParser::ResolvedTable CMapParser::TakeTable() {
  std::vector<ResolvedTable>& kept = KeptTables();
  if (kept.empty()) return std::make_unique<ResolvedSlot[]>(kResolvedSlots);
  ResolvedTable table = std::move(kept.back());
  kept.pop_back();
  return table;
}

void CMapParser::ReturnTable(ResolvedTable table) {
  // Another page's base: nothing of it may be taken for this one's.
  for (std::size_t i = 0; i < kResolvedSlots; ++i) table[i].used = false;
  std::vector<ResolvedTable>& kept = KeptTables();
  if (kept.size() < kKeptTables) kept.push_back(std::move(table));
}

const std::string& CMapParser::Resolved(const std::string& value) {
  if (!m_resolved) m_resolved = TakeTable();
  ResolvedSlot& slot = m_resolved[std::hash<std::string>{}(value) % kResolvedSlots];
  if (slot.used && slot.value == value) return slot.address;
  slot.used = false;  // until both are the new value's
  slot.value = value;
  if (!m_pBase) m_pBase = std::make_unique<CUrlBase>(m_strBase.empty() ? m_pPage->m_strAddress.str() : m_strBase);
  slot.address = m_pPage->ResolveLink(value, *m_pBase);
  slot.used = true;
  return slot.address;
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

std::string CMapParser::AddLink(const std::string& value, int linkType, bool pageLink, bool collectText) {
  if (value.empty() || !m_pPage || !m_pOwner) return {};
  const std::string& address = Resolved(value);
  if (address.empty()) return {};  // not http: the tag is copied as it is

  CPageDescr* target = nullptr;
  if (pageLink) {
    CPageChild* record = nullptr;
    m_pPendingLocation = m_pOwner->AddLink(address, linkType, collectText, nullptr, &record, &target);
    m_pPendingChild = record;
    m_bLinkPending = collectText && m_pPendingLocation ? 1 : 0;
  } else {
    m_pOwner->AddLink(address, linkType, false, nullptr, nullptr, &target);
  }
  if (m_bFailed) return {};

  // The address keeps the value's fragment, so a link into a stored page
  // still lands on its place. Normalising the fragment alone gives what it
  // is in the normalised value: it starts with '#', no blank.
  const std::size_t hash = value.find('#');
  const std::string fragment = hash == std::string::npos ? std::string() : Normalised(value.substr(hash));
  return ReplacementForAddress(address, fragment, linkType, target);
}

void CMapParser::AddAttributeLink(const CSGMLAttribute* attributes, int attributeIndex, int linkType, bool pageLink,
                                  bool collectText) {
  const CSGMLAttribute& attribute = attributes[attributeIndex];
  if (!attribute.m_bPresent) return;
  std::string replacement = AddLink(attribute.m_strValue, linkType, pageLink, collectText);
  if (!replacement.empty()) m_rewrites.push_back({attributeIndex, std::move(replacement)});
}

void CMapParser::AddRequisites(const SGMLTagDef* tag, const CSGMLAttribute* attributes) {
  hv::html::RequisiteLink links[hv::html::kMaxRequisites];
  const int count = hv::html::RequisiteLinks(*tag, attributes, links);
  for (int i = 0; i < count; ++i) {
    const CSGMLAttribute& attribute = attributes[links[i].attribute];
    if (!attribute.m_bPresent || attribute.m_strValue.empty()) continue;
    const int linkType = links[i].linkType;
    // Written only where it changes: a requisite left alone keeps its bytes.
    std::string value = links[i].srcset ? hv::html::RewriteSrcset(attribute.m_strValue,
                                                                  [&](std::string_view url) {
                                                                    return AddLink(std::string(url), linkType, false,
                                                                                   false);
                                                                  })
                                        : AddLink(attribute.m_strValue, linkType, false, false);
    if (!value.empty() && value != attribute.m_strValue) m_rewrites.push_back({links[i].attribute, std::move(value)});
  }
}

void CMapParser::OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) {
  m_rewrites.clear();
  // Any other tag: only its style attribute may hold links.
  if (tagIndex == static_cast<int>(std::size(kTags))) {
    AddStyleRewrite(*tag, tagIndex, attributes);
    WriteRewrittenTag(tagLength, *tag, attributes, m_rewrites);
    return;
  }
  switch (tagIndex) {
    case kTagA:
      ReleasePending();
      AddAttributeLink(attributes, 0, CPageChild::kPage, true, true);
      m_text.Clear();
      break;
    case kTagArea:
      AddAttributeLink(attributes, 0, CPageChild::kPage, false, false);
      break;
    case kTagBase: {
      const CSGMLAttribute& href = attributes[0];
      if (!href.m_bPresent || href.m_strValue.empty()) break;
      m_strBase = Trimmed(href.m_strValue);
      m_resolved.reset();
      m_pBase.reset();
      // The copy's links are absolute or local: a BASE would misdirect them.
      // Where it sat between a "<" (or "</", "<!") and a name, taking it out
      // would join them into a tag the page never had ("<<BASE>script>"):
      // an empty comment keeps them apart.
      if (!m_bFailed && PassOnUpTo(tagLength, nullptr)) {
        const char before = m_writer.LastByte();
        if (before == '<' || before == '/' || before == '!') m_writer.Write("<!---->");
      }
      break;
    }
    case kTagBody:
    case kTagInput:
      AddAttributeLink(attributes, 0, CPageChild::kEmbedded, false, false);
      break;
    case kTagMeta:
      AddAttributeLink(attributes, 1, CPageChild::kEmbedded, false, false);
      break;
    case kTagForm: {
      // Forms are not followed, but the copy must still submit to the site.
      const CSGMLAttribute& action = attributes[0];
      if (m_bFailed || !m_pPage || !action.m_bPresent || action.m_strValue.empty()) break;
      const std::string& address = Resolved(action.m_strValue);
      if (!address.empty()) m_rewrites.push_back({0, address});
      break;
    }
    case kTagFrame:
      AddAttributeLink(attributes, 0, CPageChild::kFrame, false, false);
      break;
    case kTagImg:
      // A server-side image map: the link's target is no page to keep.
      if (attributes[hv::html::kImgIsmap].m_bPresent && m_bLinkPending) ReleasePending();
      AddAttributeLink(attributes, hv::html::kImgSrc, CPageChild::kEmbedded, false, false);
      AddRequisites(tag, attributes);
      break;
    case kTagTitle:
      m_text.Clear();
      break;
    case kTagStyle:
      BeginStyle();
      break;
    default:
      AddRequisites(tag, attributes);
      break;
  }
  AddStyleRewrite(*tag, tagIndex, attributes);
  WriteRewrittenTag(tagLength, *tag, attributes, m_rewrites);
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

std::string CMapParser::CssReplacementFor(const CCssScanner::Reference& reference, char quote) {
  if (!m_pPage) return {};
  return hv::CssReplacement(m_cache, *m_pPage, m_pOwner, m_strBase, reference, !m_bFailed, quote);
}

void CMapParser::OnEndTag(const SGMLTagDef*, int tagIndex) {
  if (tagIndex == kTagStyle) {
    EndStyle();
  } else if (tagIndex == kTagA) {
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
