#include "engine/html/sgml_parser.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <functional>
#include <string_view>

namespace {

constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return table;
}
constexpr std::array<unsigned char, 256> kLower = MakeLowerTable();

constexpr std::array<bool, 256> MakeNameTable() {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  return table;
}
constexpr std::array<bool, 256> kNameByte = MakeNameTable();

inline bool IsNameByte(unsigned char c) { return kNameByte[c]; }
inline bool IsBlank(unsigned char c) { return c <= 0x20; }

// ASCII-only folding: the tables are ASCII, and bytes above 0x7F must not
// depend on the locale.
int CompareNoCase(std::string_view a, const char* b) {
  const auto* p = reinterpret_cast<const unsigned char*>(b);
  for (unsigned char c : a) {
    if (*p == 0) return 1;
    const int d = kLower[c] - kLower[*p];
    if (d != 0) return d;
    ++p;
  }
  return *p == 0 ? 0 : -1;
}

// Index of name in the n sorted names, or -1.
template <typename NameOf, typename Compare>
int BinarySearch(int n, NameOf nameOf, Compare compare) {
  int low = 0, high = n - 1;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const int d = compare(nameOf(mid));
    if (d == 0) return mid;
    if (d < 0)
      high = mid - 1;
    else
      low = mid + 1;
  }
  return -1;
}

bool IsEmptyType(int type) { return type == 1 || type == 7; }

[[maybe_unused]] bool IsSortedTable(const SGMLDtd* dtd) {
  for (int i = 1; i < dtd->tagCount; ++i)
    if (CompareNoCase(dtd->tags[i - 1].name, dtd->tags[i].name) >= 0) return false;
  for (int i = 0; i < dtd->tagCount; ++i)
    for (int a = 1; a < dtd->tags[i].attributeCount; ++a)
      if (CompareNoCase(dtd->tags[i].attributes[a - 1], dtd->tags[i].attributes[a]) >= 0) return false;
  for (int i = 1; i < dtd->entityCount; ++i)
    if (std::string_view(dtd->entities[i - 1].name) >= std::string_view(dtd->entities[i].name)) return false;
  return true;
}

}  // namespace

CSGMLParser::CSGMLParser(const SGMLDtd* dtd) : m_pDtd(dtd) {
  assert(IsSortedTable(dtd));
  std::size_t longest = 0;
  for (int i = 0; i < dtd->tagCount; ++i) {
    const SGMLTagDef& tag = dtd->tags[i];
    longest = std::max(longest, std::strlen(tag.name));
    for (int a = 0; a < tag.attributeCount; ++a) longest = std::max(longest, std::strlen(tag.attributes[a]));
  }
  m_nNameLimit = longest + 1;
  m_strToken.reserve(256);
  m_stack.reserve(32);
}

CSGMLParser::~CSGMLParser() = default;

void CSGMLParser::OnLiteralText(const std::string&) {}
void CSGMLParser::OnDeclaration(const std::string&) {}
void CSGMLParser::OnCharacter(const SGMLTagDef*, int, int) {}
void CSGMLParser::OnStartTag(const SGMLTagDef*, int, int, CSGMLAttribute*) {}
void CSGMLParser::OnEndTag(const SGMLTagDef*, int) {}

int CSGMLParser::IndexOf(const SGMLTagDef* tag) const {
  const std::less<const SGMLTagDef*> before;
  if (tag == nullptr || before(tag, m_pDtd->tags) || !before(tag, m_pDtd->tags + m_pDtd->tagCount)) return -1;
  return static_cast<int>(tag - m_pDtd->tags);
}

const SGMLTagDef* CSGMLParser::Top() const { return m_stack.empty() ? nullptr : &m_pDtd->tags[m_stack.back()]; }

int CSGMLParser::TopType() const { return m_stack.empty() ? 0 : m_pDtd->tags[m_stack.back()].contentType; }

inline void CSGMLParser::Character(int code) {
  if (m_stack.empty())
    OnCharacter(nullptr, -1, code);
  else
    OnCharacter(&m_pDtd->tags[m_stack.back()], m_stack.back(), code);
}

inline void CSGMLParser::AppendName(unsigned char byte) {
  if (m_strToken.size() < m_nNameLimit) m_strToken.push_back(static_cast<char>(byte));
}

int CSGMLParser::FindTag(const std::string& name) const {
  if (name.empty()) return -1;
  return BinarySearch(
      m_pDtd->tagCount, [this](int i) { return m_pDtd->tags[i].name; },
      [&name](const char* candidate) { return CompareNoCase(name, candidate); });
}

int CSGMLParser::FindAttribute(const std::string& name) const {
  const SGMLTagDef& tag = m_pDtd->tags[m_nCurrentTag];
  return BinarySearch(
      m_nAttributeCount, [&tag](int i) { return tag.attributes[i]; },
      [&name](const char* candidate) { return CompareNoCase(name, candidate); });
}

int CSGMLParser::FindEntity(const std::string& name) const {
  return BinarySearch(
      m_pDtd->entityCount, [this](int i) { return m_pDtd->entities[i].name; },
      [&name](const char* candidate) { return std::string_view(name).compare(candidate); });
}

void CSGMLParser::BeginTag(int tagIndex) {
  const SGMLTagDef& tag = m_pDtd->tags[tagIndex];
  m_nCurrentTag = tagIndex;
  // A table that lists more attributes than there are slots loses the rest.
  m_nAttributeCount = tag.attributes == nullptr ? 0 : std::min(tag.attributeCount, kMaxAttributes);
  for (int i = 0; i < m_nAttributeCount; ++i) {
    m_attributes[i].m_bPresent = 0;
    m_attributes[i].m_strValue.clear();
  }
  m_nTagStart = m_nLastOpen;
  m_strToken.clear();
  m_nCurrentAttribute = -1;
}

bool CSGMLParser::TagTooLong(unsigned char byte) {
  if (m_nPosition - m_nTagStart < kMaxTagLength) return false;
  m_strToken.clear();
  m_nCurrentAttribute = -1;
  m_state = byte == '>' ? State::kContent : State::kSkipTag;
  return true;
}

bool CSGMLParser::LookUpAttribute(unsigned char byte) {
  if (TagTooLong(byte)) return false;
  m_nCurrentAttribute = FindAttribute(m_strToken);
  if (m_nCurrentAttribute >= 0) {
    CSGMLAttribute& slot = m_attributes[m_nCurrentAttribute];
    const auto offset = static_cast<int>(m_nPosition - m_nTagStart);
    slot.m_bPresent = 1;
    slot.m_nStart = offset - static_cast<int>(m_strToken.size());
    slot.m_nEnd = offset - 1;
  }
  m_strToken.clear();
  return true;
}

bool CSGMLParser::StoreValue(unsigned char byte, bool closedByQuote) {
  if (TagTooLong(byte)) return false;
  if (m_nCurrentAttribute >= 0) {
    CSGMLAttribute& slot = m_attributes[m_nCurrentAttribute];
    slot.m_strValue = m_strToken;
    slot.m_nEnd = static_cast<int>(m_nPosition - m_nTagStart) - (closedByQuote ? 0 : 1);
  }
  m_nCurrentAttribute = -1;
  m_strToken.clear();
  return true;
}

bool CSGMLParser::CompleteStartTag() {
  if (TagTooLong('>')) return false;
  const SGMLTagDef& tag = m_pDtd->tags[m_nCurrentTag];
  if (!IsEmptyType(tag.contentType)) m_stack.push_back(m_nCurrentTag);
  OnStartTag(&tag, static_cast<int>(m_nPosition - m_nTagStart + 1), m_nCurrentTag, m_attributes);
  return true;
}

void CSGMLParser::CloseElement(int tagIndex) {
  if (IsEmptyType(m_pDtd->tags[tagIndex].contentType)) return;
  // An end tag for an element that is not open closes everything inside
  // the outermost element, but never that one.
  while (!m_stack.empty()) {
    if (m_stack.size() == 1 && m_stack.back() != tagIndex) break;
    const int popped = m_stack.back();
    m_stack.pop_back();
    OnEndTag(&m_pDtd->tags[popped], popped);
    if (popped == tagIndex) break;
  }
}

bool CSGMLParser::ResolveEntity() {
  const int index = FindEntity(m_strToken);
  if (index >= 0) {
    Character(m_pDtd->entities[index].code);
    return true;
  }
  Character('&');
  for (char c : m_strToken) Character(static_cast<unsigned char>(c));
  return false;
}

void CSGMLParser::ResolveNumber() {
  // Leading digits only; anything past the last character code stays out
  // of range however long the number is.
  std::int64_t n = 0;
  for (char c : m_strToken) {
    if (c < '0' || c > '9') break;
    n = n * 10 + (c - '0');
    if (n > kMaxCharacterCode) return;
  }
  if (n > 0) Character(static_cast<int>(n));
}

void CSGMLParser::Parse(const char* data, std::size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < length; ++i) {
    ++m_nPosition;
    ProcessChar(bytes[i]);
  }
}

void CSGMLParser::ProcessChar(unsigned char byte) {
  if (byte == '<') m_nLastOpen = m_nPosition;
  // A state that hands the byte on to another changes m_state and loops.
  for (;;) {
    switch (m_state) {
      case State::kContent:
        if (byte == '<') {
          m_strToken.clear();
          m_state = State::kTagName;
        } else if (byte == '\n') {
          m_state = State::kLineFeed;
        } else if (byte == '&' && (TopType() == 5 || TopType() == 4)) {
          m_strToken.clear();
          m_state = State::kAfterAmpersand;
        } else {
          Character(byte);
        }
        return;

      case State::kTagName: {
        if (IsNameByte(byte)) {
          AppendName(byte);
          return;
        }
        if (byte == '!') {
          m_state = State::kDeclaration;
          return;
        }
        if (byte == '/') {
          m_state = State::kEndTagName;
          return;
        }
        const int index = FindTag(m_strToken);
        if (index < 0) {
          m_state = byte == '>' ? State::kContent : State::kSkipTag;
          return;
        }
        BeginTag(index);
        if (byte != '>')
          m_state = State::kBetweenAttributes;
        else if (CompleteStartTag())
          m_state = State::kAfterStartTag;
        return;
      }

      case State::kBetweenAttributes:
        if (IsBlank(byte)) return;
        if (byte == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
          return;
        }
        AppendName(byte);
        m_state = State::kAttributeName;
        return;

      case State::kAttributeName:
        if (!IsBlank(byte) && byte != '>' && byte != '=') {
          AppendName(byte);
          return;
        }
        if (!LookUpAttribute(byte)) return;
        if (byte == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
        } else {
          m_state = byte == '=' ? State::kAfterEquals : State::kAfterAttributeName;
        }
        return;

      case State::kAfterAttributeName:
        if (IsBlank(byte)) return;
        if (byte == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
        } else if (byte == '=') {
          m_state = State::kAfterEquals;
        } else {
          AppendName(byte);
          m_state = State::kAttributeName;
        }
        return;

      case State::kAfterEquals:
        if (IsBlank(byte)) return;
        if (byte == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
        } else if (byte == '\'') {
          m_state = State::kSingleQuotedValue;
        } else if (byte == '"') {
          m_state = State::kDoubleQuotedValue;
        } else {
          m_strToken.push_back(static_cast<char>(byte));
          m_state = State::kUnquotedValue;
        }
        return;

      case State::kUnquotedValue:
        if (!IsBlank(byte) && byte != '>') {
          m_strToken.push_back(static_cast<char>(byte));
          return;
        }
        if (!StoreValue(byte, false)) return;
        if (byte != '>')
          m_state = State::kBetweenAttributes;
        else if (CompleteStartTag())
          m_state = State::kAfterStartTag;
        return;

      case State::kSingleQuotedValue:
      case State::kDoubleQuotedValue: {
        const unsigned char quote = m_state == State::kSingleQuotedValue ? '\'' : '"';
        if (byte == quote) {
          if (StoreValue(byte, true)) m_state = State::kBetweenAttributes;
        } else if (byte == '>') {
          // An unclosed quote ends at the tag's end; what the page meant
          // as the rest of the value becomes text.
          if (StoreValue(byte, false) && CompleteStartTag()) m_state = State::kContent;
        } else {
          m_strToken.push_back(static_cast<char>(byte));
        }
        return;
      }

      case State::kAfterStartTag:
        if (byte == '\n' && TopType() != 1) return;
        m_state = State::kContent;
        continue;

      case State::kLineFeed:
        if (byte == '<') {
          m_strToken.clear();
          m_state = State::kLineFeedOpen;
          return;
        }
        Character('\n');
        m_state = State::kContent;
        continue;

      case State::kLineFeedOpen:
        // The line feed before an end tag is layout, not content.
        if (byte != '/') Character('\n');
        m_state = State::kTagName;
        continue;

      case State::kEndTagName: {
        if (IsNameByte(byte)) {
          AppendName(byte);
          return;
        }
        const int index = m_strToken.empty() ? TopIndex() : FindTag(m_strToken);
        if (index >= 0) {
          m_nCurrentTag = index;
          CloseElement(index);
        }
        m_strToken.clear();
        m_nCurrentAttribute = -1;
        m_state = byte == '>' ? State::kContent : State::kSkipTag;
        return;
      }

      case State::kSkipTag:
        if (byte == '>') m_state = State::kContent;
        return;

      case State::kAfterAmpersand:
        if (byte == '#') {
          m_state = State::kNumericReference;
          return;
        }
        m_state = State::kEntityName;
        continue;

      case State::kEntityName:
        if (IsNameByte(byte)) {
          m_strToken.push_back(static_cast<char>(byte));
          return;
        }
        m_state = State::kContent;
        if (ResolveEntity()) return;
        continue;

      case State::kNumericReference:
        if (IsNameByte(byte)) {
          m_strToken.push_back(static_cast<char>(byte));
          return;
        }
        m_state = State::kContent;
        ResolveNumber();
        return;

      case State::kDeclaration:
        if (byte == '-' && m_cPrevious == '-') {
          m_cPrevious = 0;
          m_bDashes = false;
          m_state = State::kComment;
          return;
        }
        if (byte == '[') {
          ++m_nBracketDepth;
        } else if (byte == ']') {
          if (m_nBracketDepth > 0) --m_nBracketDepth;
        } else if (byte == '>' && m_nBracketDepth == 0) {
          m_state = State::kContent;
        }
        m_cPrevious = byte;
        return;

      case State::kComment:
        if (byte == '-') {
          m_bDashes = m_cPrevious == '-';
        } else if (byte == '>' && m_bDashes) {
          m_state = State::kContent;
        } else if (byte != ' ' && byte != '\r' && byte != '\n') {
          m_bDashes = false;
        }
        m_cPrevious = byte;
        return;
    }
    return;  // not reached: every state is handled above
  }
}
