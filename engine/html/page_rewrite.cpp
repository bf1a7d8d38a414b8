// The page record's side of rewriting its stored copy: which address a link
// attribute names, what the copy says in its place, and writing a copy anew
// when the pages it links to have come or gone.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string_view>
#include <mutex>

#include "engine/cache/cache.h"
#include "engine/html/content_parser.h"
#include "engine/html/css_rewriter.h"
#include "engine/http/url.h"
#include "engine/http/web_scheme.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "platform/files/file.h"
#include "platform/files/temp_file.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

namespace {

constexpr std::size_t kBlock = 4096;

// A bare name is a local file name; anything else is an address.
bool IsWebAddress(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return c == ':' || c == '/' || c == '\\'; });
}

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

// Whether a byte of the word is below 0x0E (the tab, the line breaks and the
// rest of the control range up to '\r'), or is a backslash when asked. The
// text of a link has none nearly always, so it is read eight bytes at a time.
bool WordMayNeedLook(std::uint64_t word, bool backslash) {
  const bool low = ((word - kOnes * 0x0E) & ~word & kHighs) != 0;
  if (low || !backslash) return low;
  const std::uint64_t x = word ^ (kOnes * '\\');
  return ((x - kOnes) & ~x & kHighs) != 0;
}

// Where in text a byte may need a look; text.size() when none does.
std::size_t FirstToLook(std::string_view text, bool backslash) {
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    if (WordMayNeedLook(word, backslash)) return at;
  }
  return at;
}

bool HasLineBreakOrTab(const std::string& text) {
  // One test for the bytes above the control range, which are nearly all.
  return std::any_of(text.begin() + static_cast<std::ptrdiff_t>(FirstToLook(text, false)), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= '\r' && (c == '\t' || c == '\r' || c == '\n'); });
}

// Whether CreateName would change the text: a blank at either end, or a tab
// or line break anywhere.
bool NeedsNormalising(const std::string& text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
  return !text.empty() && (blank(text.front()) || blank(text.back()) || HasLineBreakOrTab(text));
}

// What the copy of page says for a link whose target is resolved (absolute,
// without fragment) and which the page writes as *written (null: resolved
// and fragment); known is the target's record when the caller has it. The
// cache lock is held. Only a picture not stored shows
// the placeholder; a page, frame, stylesheet, script, font or medium not
// stored is named by its web address, so a browser fetches it from there.
std::string Replacement(CCache& cache, CPageDescr& page, const std::string& resolved, const std::string& fragment,
                        const std::string* written, int linkType, const CPageDescr* known = nullptr) {
  const auto value = [&] { return written ? *written : resolved + fragment; };
  const CPageDescr* target = known ? known : cache.FindOrCreate(resolved);
  if (!target) return value();

  // A record being retrieved for a site map has no file to point at.
  const bool stored = target->m_nState != CPageDescr::kNotStored && !target->m_strLocalFile.empty();
  const auto placeholder = [&page] {
    page.m_bPlaceholderUsed = 1;
    return hv::res::LoadString(hv::res::IDS_PLACEHOLDER);
  };

  if (IsWebAddress(resolved)) {
    if (stored) return target->m_strLocalFile + fragment;
    return linkType == CPageChild::kEmbedded ? placeholder() : value();
  }
  // A local name written earlier: it stays while the copy it names is kept.
  if (!stored || target->m_nCopyKept == 0)
    return linkType == CPageChild::kEmbedded ? placeholder() : target->m_strAddress.str() + fragment;
  return value();
}

}  // namespace

std::string CPageDescr::ResolveLink(const std::string& value, const std::string& base) const {
  return ResolveLink(value, CUrlBase(base.empty() ? m_strAddress.str() : base));
}

std::string CPageDescr::ResolveLink(const std::string& value, const CUrlBase& base) const {
  // Most values are as CreateName would leave them; those are not copied.
  std::string normalised;
  const std::string* text = &value;
  if (NeedsNormalising(value)) {
    normalised = value;
    CreateName(normalised);
    text = &normalised;
  }
  if (text->empty()) return {};
  std::string result;
  base.Compose(result, text->c_str(), URL_CANONICAL);
  // One pass: a line break or tab (from the base) refuses the address,
  // backslashes become slashes.
  for (auto c = result.begin() + static_cast<std::ptrdiff_t>(FirstToLook(result, true)); c != result.end(); ++c) {
    if (static_cast<unsigned char>(*c) <= '\r') {
      if (*c == '\t' || *c == '\r' || *c == '\n') return {};
    } else if (*c == '\\') {
      *c = '/';
    }
  }
  if (!hv::http::HasWebPrefix(result)) return {};
  return result;
}

std::string CPageDescr::ReplacementFor(CCache& cache, const std::string& value, int linkType,
                                       const std::string& base) {
  if (value.empty()) return {};
  std::lock_guard guard(CCache::Lock());
  std::string resolved;
  ComposeUrl(resolved, value.c_str(), base.empty() ? nullptr : base.c_str(), URL_CANONICAL);
  const std::size_t hash = value.find('#');
  return Replacement(cache, *this, resolved, hash == std::string::npos ? std::string() : value.substr(hash), &value,
                     linkType);
}

std::string CPageDescr::ReplacementForAddress(CCache& cache, const std::string& address, const std::string& fragment,
                                              int linkType, const CPageDescr* target) {
  std::lock_guard guard(CCache::Lock());
  return Replacement(cache, *this, address, fragment, nullptr, linkType, target);
}

std::string CContentParser::ReplacementForAddress(const std::string& address, const std::string& fragment,
                                                  int linkType, const CPageDescr* target) {
  return m_pPage->ReplacementForAddress(m_cache, address, fragment, linkType, target);
}

void CPageDescr::Relink(CCache& cache) {
  {
    std::lock_guard guard(CCache::Lock());
    const std::uint32_t noted = m_tLinksUpdated;
    m_tLinksUpdated = static_cast<std::uint32_t>(std::time(nullptr));
    if (m_nState == kNotStored || m_nState == kInterrupted || m_nCopyKept == 0) return;
    if (!FileExists(cache)) {
      DropFile(cache, nullptr);
      return;
    }
    // A target this page's own links brought in was known when the copy
    // was written; only changes made by others leave the copy behind.
    const bool behind = std::any_of(m_links.begin(), m_links.end(), [&](const std::unique_ptr<CPageChild>& link) {
      const CPageDescr* target = cache.Find(link->m_strAddress);
      return target && target->m_tStateChanged >= noted && target->m_pStateChangedBy != this;
    });
    if (!behind) return;
  }
  RewriteLinks(cache);
}

void CPageDescr::RewriteLinks(CCache& cache) {
  const HWND window = CSafClient::GetSafClient()->GetMainWnd();
  std::string path;
  bool stylesheet = false;
  {
    std::lock_guard guard(CCache::Lock());
    if (m_nState != kStored || m_nCopyKept == 0 || !FileExists(cache)) return;
    m_tLinksUpdated = static_cast<std::uint32_t>(std::time(nullptr));
    if (CCacheTotals* totals = cache.Totals()) totals->MarkCacheChanged();
    path = cache.PathOf(m_strLocalFile);
    stylesheet = hv::IsStylesheetType(m_strContentType);
  }

  // The page file is rewritten from a copy, so a failure before the parser
  // opens it leaves the page as it was.
  std::unique_ptr<hv::fs::CTemporaryFile> copy;
  char buffer[kBlock];
  try {
    copy = hv::fs::CreateTemporaryFile("HVT");
    CFile source(path, CFile::modeRead);
    for (std::size_t n; (n = source.Read(buffer, sizeof buffer)) > 0;) copy->Write(buffer, n);
    copy->SeekToBegin();
  } catch (const CFileException&) {
    DisplayError(hv::res::IDS_NO_TEMPORARY_FILE, window);
    return;
  }

  // A stylesheet's copy is CSS, anything else a page.
  const auto rewrite = [&](auto& parser) {
    if (!parser.OpenFiles()) return;
    try {
      for (std::size_t n; (n = copy->Read(buffer, sizeof buffer)) > 0;) parser.Parse(buffer, n);
    } catch (const CFileException&) {
      // What was read is written; the rest of the copy is lost with the scratch file.
    }
    parser.Finish();
  };
  if (stylesheet) {
    CCssRewriter parser(cache, this, nullptr);
    rewrite(parser);
  } else {
    CContentParser parser(cache, this);
    rewrite(parser);
  }
}
