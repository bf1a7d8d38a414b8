#include "engine/html/local_parser.h"

#include <iterator>

#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/web_address.h"

namespace {

const char* const kHref[] = {"HREF"};
const SGMLTagDef kTags[] = {{"A", kHref, 1, 5}};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100};
constexpr int kTagA = 0;

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
  // A relative link has nothing to resolve against in a local file, and a
  // bare name would be taken for a stored page's file name. An A without
  // HREF is no link.
  const HvAddressFault fault = WebAddressFault(m_strAddress.c_str());
  if (fault != HvAddressFault::none && !m_strAddress.empty()) {
    ++(fault == HvAddressFault::noScheme ? m_nRelative
       : fault == HvAddressFault::otherScheme ? m_nOtherScheme
                                               : m_nNoHost);
  } else if (fault == HvAddressFault::none) {
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
