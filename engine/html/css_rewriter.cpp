#include "engine/html/css_rewriter.h"

#include <strings.h>

#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "engine/html/css_text.h"
#include "harvion/exports.h"

namespace hv {

bool IsStylesheetType(const std::string& contentType) {
  const std::size_t first = contentType.find_first_not_of(" \t");
  if (first == std::string::npos || strncasecmp(contentType.c_str() + first, "text/css", 8) != 0) return false;
  const char after = contentType.c_str()[first + 8];
  return after == '\0' || after == ';' || after == ' ' || after == '\t';
}

std::string CssReplacement(CCache& cache, CPageDescr& page, CLinkOwner* owner, const std::string& base,
                           const CCssScanner::Reference& reference, bool writing, char quote) {
  // A font or a picture is no image to show the placeholder for: what is
  // not stored keeps its address.
  const int linkType = reference.kind == CCssScanner::Kind::import ? CPageChild::kStyle : CPageChild::kMedia;
  std::string replacement;
  if (owner) {
    const std::string address = page.ResolveLink(reference.value, base);
    if (address.empty()) return {};  // not http: kept as it is
    CPageDescr* target = nullptr;
    owner->AddLink(address, linkType, false, nullptr, nullptr, &target);
    if (!writing) return {};
    const std::size_t hash = reference.value.find('#');
    std::string fragment;
    if (hash != std::string::npos) {
      fragment = reference.value.substr(hash);
      CreateName(fragment);
    }
    replacement = page.ReplacementForAddress(cache, address, fragment, linkType, target);
  } else {
    if (!writing) return {};
    replacement = page.ReplacementFor(cache, reference.value, linkType, {});
  }
  // The bytes the server sent stay where they say what they said.
  if (replacement.empty() || replacement == reference.value) return {};
  std::string text;
  if (!reference.quoted) text = "url(";
  hv::AppendCssString(text, replacement, quote);
  if (!reference.quoted) text += ')';
  return text;
}

}  // namespace hv

CCssRewriter::CCssRewriter(CCache& cache, CPageDescr* page, CLinkOwner* owner)
    : m_cache(cache), m_pPage(page), m_pOwner(owner), m_writer(cache, page) {}

bool CCssRewriter::OpenFiles() {
  if (m_writer.IsOpen()) return true;
  return m_pPage && Scanned() == 0 && m_writer.Open();
}

void CCssRewriter::Parse(const char* data, std::size_t length) {
  struct Fed {
    CCopyWriter& writer;
    ~Fed() { writer.Unfeed(); }
  } fed{m_writer};
  m_writer.BeginFeed(data, length);
  Scan(data, length);
  m_writer.EndFeed(OpenFrom());
}

int CCssRewriter::Finish() {
  CCssScanner::Finish();
  return m_writer.Finish() ? 1 : 0;
}

void CCssRewriter::OnReference(const Reference& reference) {
  if (!m_pPage) return;
  const std::string text = hv::CssReplacement(m_cache, *m_pPage, m_pOwner, {}, reference, m_writer.Writing());
  if (!text.empty() && m_writer.Skip(reference.start, reference.end, nullptr)) m_writer.Write(text);
}
