#include "engine/html/content_parser.h"

#include <algorithm>
#include <iterator>

#include "engine/cache/cache.h"
#include "engine/html/attribute_text.h"
#include "engine/html/css_rewriter.h"
#include "engine/html/requisite_tags.h"
#include "engine/html/srcset.h"
#include "engine/html/style_attribute.h"

namespace {

const char* const kHref[] = {"HREF", "STYLE"};
const char* const kBackground[] = {"BACKGROUND", "STYLE"};
const char* const kSrc[] = {"SRC", "STYLE"};
const char* const kUrl[] = {"STYLE", "URL"};  // sorted: the tokenizer looks names up in order
const char* const kStyle[] = {"STYLE"};

// Only the tags whose links point at stored copies; the rest pass through.
const SGMLTagDef kTags[] = {
    {"A", kHref, 2, 5},      {"AREA", kHref, 2, 1},   hv::html::kAudioTag,  {"BODY", kBackground, 2, 5},
    hv::html::kEmbedTag,     {"FRAME", kSrc, 2, 1},   hv::html::kIframeTag, hv::html::kImgTag,
    {"INPUT", kSrc, 2, 1},   hv::html::kLinkTag,      {"META", kUrl, 2, 1}, hv::html::kObjectTag,
    hv::html::kScriptTag,    hv::html::kSourceTag,    {"STYLE", kStyle, 1, 5}, hv::html::kTrackTag,
    hv::html::kVideoTag,
};
constexpr int kTagStyle = 14;  // its CSS is read for references
// Every other tag is read for its style attribute.
const SGMLTagDef kOtherTags = {"", kStyle, 1, 1};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100, &kOtherTags};

// Per tag of the table: which attribute holds the link copies have always
// had, and its kind; -1 for the tags whose links are all requisites.
struct LinkSlot {
  int attribute;
  int linkType;
};
constexpr LinkSlot kNone = {-1, 0};
const LinkSlot kLinks[] = {
    {0, CPageChild::kPage},  {0, CPageChild::kPage},     kNone, {0, CPageChild::kEmbedded},
    kNone,                   {0, CPageChild::kFrame},    kNone, {hv::html::kImgSrc, CPageChild::kEmbedded},
    {0, CPageChild::kEmbedded}, kNone,                   {1, CPageChild::kEmbedded}, kNone,
    kNone,                   kNone,                      kNone, kNone,
    kNone,
};
static_assert(std::size(kLinks) == std::size(kTags) && kTagStyle == 14 && std::size(kTags) == 17);

}  // namespace

CContentParser::CContentParser(CCache& cache, CPageDescr* page) : CContentParser(cache, page, &kDtd) {}

CContentParser::CContentParser(CCache& cache, CPageDescr* page, const SGMLDtd* dtd)
    : CSGMLParser(dtd), m_cache(cache), m_pPage(page), m_writer(cache, page) {}

// The CSS of a STYLE element: its references have offsets in the page.
class CContentParser::StyleScanner : public CCssScanner {
 public:
  StyleScanner(CContentParser& parser, std::int64_t origin) : m_parser(parser), m_nOrigin(origin) {}
  std::int64_t Origin() const { return m_nOrigin; }

 protected:
  void OnReference(const Reference& reference) override { m_parser.ReplaceCss(reference, m_nOrigin); }

 private:
  CContentParser& m_parser;
  std::int64_t m_nOrigin;  // offset in the page of the CSS's first byte
};

CContentParser::~CContentParser() = default;

bool CContentParser::OpenFiles() {
  if (!m_bFailed) return true;
  // Offsets into the scratch file count from the first byte fed.
  if (!m_pPage || Position() != 0 || !m_writer.Open()) return false;
  m_bFailed = 0;
  return true;
}

void CContentParser::Parse(const char* data, std::size_t length) {
  // While the call lasts its bytes are read from its buffer, not the disk.
  struct Fed {
    CCopyWriter& writer;
    ~Fed() { writer.Unfeed(); }
  } fed{m_writer};
  m_writer.BeginFeed(data, length);
  m_pData = data;
  m_nDataLength = length;
  m_nDataStart = Position();
  CSGMLParser::Parse(data, length);
  // Bytes before a start tag still being read, or before a reference of a
  // STYLE element's CSS not yet complete, can no longer change.
  const std::int64_t open = OpenTagStart();
  std::int64_t keepFrom = open > 0 ? open - 1 : CCopyWriter::kNothingOpen;
  if (m_pStyle) {
    FeedStyleAfterBuffer();
    if (m_pStyle) keepFrom = std::min(keepFrom, m_pStyle->Origin() + m_pStyle->OpenFrom());
  }
  m_pData = nullptr;
  m_writer.EndFeed(keepFrom);
}

void CContentParser::BeginStyle() {
  m_pStyle.reset();
  m_strStyleHeld.clear();
  if (m_pPage) m_pStyle = std::make_unique<StyleScanner>(*this, Position());
}

void CContentParser::EndStyle() {
  if (!m_pStyle) return;
  FeedStyle(LastOpen() - 1);
  m_strStyleHeld.clear();  // the end tag's own bytes
  FinishStyle();
}

void CContentParser::FinishStyle() {
  if (!m_strStyleHeld.empty()) m_pStyle->Scan(m_strStyleHeld.data(), m_strStyleHeld.size());
  m_strStyleHeld.clear();
  m_pStyle->Finish();
  m_pStyle.reset();
}

void CContentParser::FeedStyle(std::int64_t offset) {
  std::int64_t from = m_pStyle->Origin() + m_pStyle->Scanned();
  if (offset <= from) return;
  // The held bytes follow on from what was read.
  const auto held = static_cast<std::size_t>(std::min<std::int64_t>(offset - from, m_strStyleHeld.size()));
  if (held > 0) {
    m_pStyle->Scan(m_strStyleHeld.data(), held);
    m_strStyleHeld.erase(0, held);
    from += static_cast<std::int64_t>(held);
  }
  if (!m_pData || !m_strStyleHeld.empty() || from < m_nDataStart) return;
  const std::int64_t end = std::min(offset, m_nDataStart + static_cast<std::int64_t>(m_nDataLength));
  if (end > from) m_pStyle->Scan(m_pData + (from - m_nDataStart), static_cast<std::size_t>(end - from));
}

void CContentParser::FeedStyleAfterBuffer() {
  // A '<' not yet settled may begin the end tag: the CSS stops before it
  // until the tag is known, whatever size the buffers are.
  const std::int64_t pending = PendingMarkup();
  const std::int64_t upTo = pending > 0 ? std::min(pending - 1, Position()) : Position();
  FeedStyle(upTo);
  const std::int64_t from = m_pStyle->Origin() + m_pStyle->Scanned() + static_cast<std::int64_t>(m_strStyleHeld.size());
  if (m_pData && from >= m_nDataStart && from < Position())
    m_strStyleHeld.append(m_pData + (from - m_nDataStart), static_cast<std::size_t>(Position() - from));
  // Held this long it is the end tag itself, with attributes: the CSS ends
  // before it, as it does once the tag is complete.
  constexpr std::size_t kMaxHeld = 256;
  if (m_strStyleHeld.size() > kMaxHeld) {
    m_strStyleHeld.clear();
    FinishStyle();
  }
}

void CContentParser::ReplaceCss(const CCssScanner::Reference& reference, std::int64_t origin) {
  const std::string text = CssReplacementFor(reference, '"');
  if (!text.empty() && m_writer.Skip(origin + reference.start, origin + reference.end, nullptr)) m_writer.Write(text);
}

std::string CContentParser::CssReplacementFor(const CCssScanner::Reference& reference, char quote) {
  return hv::CssReplacement(m_cache, *m_pPage, nullptr, {}, reference, m_writer.Writing(), quote);
}

void CContentParser::AddStyleRewrite(const SGMLTagDef& tag, int tagIndex, const CSGMLAttribute* attributes) {
  // Every tag asks, so each tag's answer is looked up once per page.
  if (tagIndex < 0) return;
  const auto index = static_cast<std::size_t>(tagIndex);
  if (index >= m_styleSlots.size()) m_styleSlots.resize(index + 1, kStyleSlotUnknown);
  if (m_styleSlots[index] == kStyleSlotUnknown) m_styleSlots[index] = static_cast<signed char>(hv::StyleSlot(tag));
  const int slot = m_styleSlots[index];
  if (slot < 0 || !m_pPage) return;
  const CSGMLAttribute& style = attributes[slot];
  if (!style.m_bPresent || style.m_strValue.empty()) return;
  std::string value = hv::RewriteStyleAttribute(
      style.m_strValue, [this](const CCssScanner::Reference& reference) { return CssReplacementFor(reference, '\''); });
  if (value != style.m_strValue) m_rewrites.push_back({slot, std::move(value)});
}

void CContentParser::OnEndTag(const SGMLTagDef*, int tagIndex) {
  if (tagIndex == kTagStyle) EndStyle();
}

bool CContentParser::WritePage(const char* data, std::size_t size) {
  m_strPending.append(data, size);
  m_writer.Write(m_strPending);
  m_strPending.clear();
  return m_writer.Writing();
}

bool CContentParser::PassOnUpTo(int tagLength, std::string* tagText) {
  if (tagLength < 0) return false;
  return m_writer.Skip(Position() - tagLength, Position(), tagText);
}

void CContentParser::WriteRewrittenTag(int tagLength, const SGMLTagDef& tag, const CSGMLAttribute* attributes,
                                       std::vector<Rewrite>& rewrites) {
  if (rewrites.empty()) return;
  std::string& text = m_strTag;
  if (!PassOnUpTo(tagLength, &text)) return;
  std::sort(rewrites.begin(), rewrites.end(), [attributes](const Rewrite& a, const Rewrite& b) {
    return attributes[a.attribute].m_nStart < attributes[b.attribute].m_nStart;
  });
  // Offsets the tokenizer never gives (outside the tag, overlapping) keep
  // the tag as it was.
  std::size_t from = 0;
  for (const Rewrite& rewrite : rewrites) {
    const CSGMLAttribute& attribute = attributes[rewrite.attribute];
    const auto start = static_cast<std::size_t>(std::max(attribute.m_nStart, 0));
    const auto end = static_cast<std::size_t>(std::max(attribute.m_nEnd, 0)) + 1;
    if (start < from || start >= end || end > text.size()) {
      WritePage(text.data(), text.size());
      return;
    }
    from = end;
  }
  from = 0;
  for (const Rewrite& rewrite : rewrites) {
    const CSGMLAttribute& attribute = attributes[rewrite.attribute];
    const auto start = static_cast<std::size_t>(attribute.m_nStart);
    m_strPending.append(text, from, start - from);
    m_strPending += tag.attributes[rewrite.attribute];
    m_strPending += "=\"";
    hv::AppendQuotedValue(m_strPending, rewrite.value);
    m_strPending += '"';
    from = static_cast<std::size_t>(attribute.m_nEnd) + 1;
  }
  WritePage(text.data() + from, text.size() - from);
}

void CContentParser::OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) {
  if (tagIndex == kTagStyle) BeginStyle();
  if (tagIndex < 0 || m_bFailed || !m_pPage) return;
  m_rewrites.clear();
  // Any other tag: only its style attribute may need writing anew.
  if (tagIndex >= static_cast<int>(std::size(kLinks))) {
    AddStyleRewrite(*tag, tagIndex, attributes);
    WriteRewrittenTag(tagLength, *tag, attributes, m_rewrites);
    return;
  }
  // The value as the page has it, with no base: a stored copy holds
  // absolute addresses and local file names only.
  const auto replacement = [this](const std::string& value, int linkType) {
    return m_pPage->ReplacementFor(m_cache, value, linkType, {});
  };
  // The links copies have always had are written again even where they
  // stay the same.
  const LinkSlot& slot = kLinks[tagIndex];
  if (slot.attribute >= 0) {
    const CSGMLAttribute& attribute = attributes[slot.attribute];
    if (attribute.m_bPresent && !attribute.m_strValue.empty()) {
      std::string value = replacement(attribute.m_strValue, slot.linkType);
      if (!value.empty()) m_rewrites.push_back({slot.attribute, std::move(value)});
    }
  }
  // A requisite is written only where it changes, so a copy whose
  // requisites stay keeps their bytes.
  hv::html::RequisiteLink links[hv::html::kMaxRequisites];
  const int count = hv::html::RequisiteLinks(*tag, attributes, links);
  for (int i = 0; i < count; ++i) {
    const CSGMLAttribute& attribute = attributes[links[i].attribute];
    if (!attribute.m_bPresent || attribute.m_strValue.empty()) continue;
    const int linkType = links[i].linkType;
    std::string value =
        links[i].srcset
            ? hv::html::RewriteSrcset(attribute.m_strValue,
                                      [&](std::string_view url) { return replacement(std::string(url), linkType); })
            : replacement(attribute.m_strValue, linkType);
    if (!value.empty() && value != attribute.m_strValue) m_rewrites.push_back({links[i].attribute, std::move(value)});
  }
  AddStyleRewrite(*tag, tagIndex, attributes);
  WriteRewrittenTag(tagLength, *tag, attributes, m_rewrites);
}

int CContentParser::Finish() {
  // A STYLE element the page never closed ends with it.
  if (m_pStyle) FinishStyle();
  return m_writer.Finish() && !m_bFailed && m_pPage ? 1 : 0;
}
