#include "engine/html/local_parser.h"

#include <iterator>

#include "engine/http/web_scheme.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"

namespace {

const char* const kHref[] = {"HREF"};
const SGMLTagDef kTags[] = {{"A", kHref, 1, 5}};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100};
constexpr int kTagA = 0;

// "http://" or "https://" and a host. A relative link has nothing to resolve
// against in a local file, and a bare name would be taken for a stored
// page's file name.
bool IsAbsoluteWebAddress(const std::string& address) {
  if (!hv::http::HasWebPrefix(address)) return false;
  const std::size_t host = hv::http::WebSchemeLength(address) + 2;
  return address.size() > host && address[host] != '/';
}

}  // namespace

CLocalParser::CLocalParser(CSafNode* owner) : CSGMLParser(&kDtd), m_pOwner(owner) {}

void CLocalParser::OnStartTag(const SGMLTagDef*, int, int tagIndex, CSGMLAttribute* attributes) {
  if (tagIndex != kTagA) return;
  m_text.Clear();
  m_strAddress = attributes[0].m_bPresent ? attributes[0].m_strValue : std::string();
}

void CLocalParser::OnCharacter(const SGMLTagDef*, int tagIndex, int code) {
  if (tagIndex == kTagA) m_text.AddCharacter(code);
}

void CLocalParser::OnText(const SGMLTagDef*, int tagIndex, const char* text, std::size_t length) {
  if (tagIndex == kTagA) m_text.AddBytes(text, length);
}

void CLocalParser::OnEndTag(const SGMLTagDef*, int tagIndex) {
  if (tagIndex != kTagA) return;
  // Files written by hand may pad the address; the cache keys must not.
  CreateName(m_strAddress);
  if (IsAbsoluteWebAddress(m_strAddress)) {
    std::string text = m_text.Take();
    CreateName(text);
    if (text.empty()) text = m_strAddress;
    if (CSafClient::CreateHTMLNode(m_pOwner, text.c_str(), m_strAddress.c_str(), 0))
      ++m_nCreated;
    else
      ++m_nRefused;
  }
  m_strAddress.clear();
  m_text.Clear();
}
