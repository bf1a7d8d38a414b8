#include "engine/html/sgml_parser.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
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

template <typename Predicate>
constexpr std::array<bool, 256> MakeTable(Predicate predicate) {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = predicate(c);
  return table;
}

constexpr bool IsName(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// The bytes that end a run in each state; see Parse.
using StopTable = std::array<bool, 256>;
constexpr StopTable kTextStop = MakeTable([](int c) { return c == '<' || c == '\n'; });
constexpr StopTable kTextStopWithReferences = MakeTable([](int c) { return c == '<' || c == '\n' || c == '&'; });
constexpr StopTable kNameStop = MakeTable([](int c) { return !IsName(c); });
constexpr StopTable kAttributeNameStop = MakeTable([](int c) { return c <= 0x20 || c == '>' || c == '='; });
constexpr StopTable kUnquotedStop = MakeTable([](int c) { return c <= 0x20 || c == '>'; });
constexpr StopTable kSingleQuotedStop = MakeTable([](int c) { return c == '\'' || c == '>'; });
constexpr StopTable kDoubleQuotedStop = MakeTable([](int c) { return c == '"' || c == '>'; });
constexpr StopTable kBlankRunStop = MakeTable([](int c) { return c > 0x20; });
constexpr StopTable kDeclarationStop = MakeTable([](int c) { return c == '-' || c == '[' || c == ']' || c == '>'; });

// The first byte from p on that stops the run, or end.
inline const unsigned char* Find(const unsigned char* p, const unsigned char* end, const StopTable& stop) {
  while (p != end && !stop[*p]) ++p;
  return p;
}

// Word at a time for the long runs, text and quoted values: a word none of
// whose bytes is a stop byte is passed whole. The word test may report a
// stop byte only when the word holds one, so the byte loop after it ends
// inside that word.
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighs = 0x8080808080808080u;

inline std::uint64_t HasByte(std::uint64_t word, unsigned char byte) {
  const std::uint64_t x = word ^ (kOnes * byte);
  return (x - kOnes) & ~x & kHighs;
}

template <typename WordHasStop>
inline const unsigned char* FindWords(const unsigned char* p, const unsigned char* end, const StopTable& stop,
                                      WordHasStop wordHasStop) {
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if (wordHasStop(word)) break;
    p += 8;
  }
  return Find(p, end, stop);
}

inline const unsigned char* FindText(const unsigned char* p, const unsigned char* end, bool references) {
  if (references)
    return FindWords(p, end, kTextStopWithReferences, [](std::uint64_t w) {
      return HasByte(w, '<') | HasByte(w, '\n') | HasByte(w, '&');
    });
  return FindWords(p, end, kTextStop, [](std::uint64_t w) { return HasByte(w, '<') | HasByte(w, '\n'); });
}

inline const unsigned char* FindQuoteEnd(const unsigned char* p, const unsigned char* end, unsigned char quote) {
  return FindWords(p, end, quote == '"' ? kDoubleQuotedStop : kSingleQuotedStop,
                   [quote](std::uint64_t w) { return HasByte(w, quote) | HasByte(w, '>'); });
}

inline const unsigned char* FindByte(const unsigned char* p, const unsigned char* end, unsigned char byte) {
  const void* found = std::memchr(p, byte, static_cast<std::size_t>(end - p));
  return found ? static_cast<const unsigned char*>(found) : end;
}

// ASCII-only folding: the tables are ASCII, and bytes above 0x7F must not
// depend on the locale.
template <bool kFold>
inline int Compare(std::string_view a, const char* b) {
  const auto* p = reinterpret_cast<const unsigned char*>(b);
  for (unsigned char c : a) {
    if (*p == 0) return 1;
    const int d = kFold ? kLower[c] - kLower[*p] : c - *p;
    if (d != 0) return d;
    ++p;
  }
  return *p == 0 ? 0 : -1;
}

inline int CompareNoCase(std::string_view a, const char* b) { return Compare<true>(a, b); }

// Index of name among the sorted names from low to before high, or -1.
template <typename NameOf, typename Compare>
int BinarySearch(int low, int high, NameOf nameOf, Compare compare) {
  --high;
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
  // Names sorted without regard to case keep those of one first letter
  // together.
  for (int i = 0; i < dtd->tagCount; ++i) {
    TagRange& range = m_tagsByLetter[kLower[static_cast<unsigned char>(dtd->tags[i].name[0])] & 0x7F];
    if (range.first == range.end) range.first = i;
    range.end = i + 1;
  }
  m_strToken.reserve(256);
  m_stack.reserve(32);
}

CSGMLParser::~CSGMLParser() = default;

void CSGMLParser::OnLiteralText(const std::string&) {}
void CSGMLParser::OnDeclaration(const std::string&) {}
void CSGMLParser::OnCharacter(const SGMLTagDef*, int, int) {}

void CSGMLParser::OnText(const SGMLTagDef* tag, int tagIndex, const char* text, std::size_t length) {
  const std::int64_t last = m_nPosition;
  for (std::size_t i = 0; i < length; ++i) {
    m_nPosition = last - static_cast<std::int64_t>(length - 1 - i);
    OnCharacter(tag, tagIndex, static_cast<unsigned char>(text[i]));
  }
  m_nPosition = last;
}

void CSGMLParser::OnStartTag(const SGMLTagDef*, int, int, CSGMLAttribute*) {}
void CSGMLParser::OnEndTag(const SGMLTagDef*, int) {}

int CSGMLParser::IndexOf(const SGMLTagDef* tag) const {
  const std::less<const SGMLTagDef*> before;
  if (tag == nullptr || before(tag, m_pDtd->tags) || !before(tag, m_pDtd->tags + m_pDtd->tagCount)) return -1;
  return static_cast<int>(tag - m_pDtd->tags);
}

std::int64_t CSGMLParser::OpenTagStart() const {
  switch (m_state) {
    case State::kTagName:
    case State::kLineFeedOpen:
      return m_nLastOpen;
    case State::kBetweenAttributes:
    case State::kAttributeName:
    case State::kAfterAttributeName:
    case State::kAfterEquals:
    case State::kUnquotedValue:
    case State::kSingleQuotedValue:
    case State::kDoubleQuotedValue:
      return m_nTagStart;
    default:
      return 0;
  }
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

inline void CSGMLParser::AppendName(const unsigned char* from, const unsigned char* to) {
  if (m_strToken.size() >= m_nNameLimit) return;
  const auto n = std::min(static_cast<std::size_t>(to - from), m_nNameLimit - m_strToken.size());
  m_strToken.append(reinterpret_cast<const char*>(from), n);
}

inline void CSGMLParser::AppendValue(const unsigned char* from, const unsigned char* to) {
  if (m_nCurrentAttribute >= 0)
    m_strToken.append(reinterpret_cast<const char*>(from), static_cast<std::size_t>(to - from));
}

int CSGMLParser::FindTag(const std::string& name) const {
  if (name.empty()) return -1;
  // The token holds letters and digits only.
  const TagRange& range = m_tagsByLetter[kLower[static_cast<unsigned char>(name[0])] & 0x7F];
  return BinarySearch(
      range.first, range.end, [this](int i) { return m_pDtd->tags[i].name; },
      [&name](const char* candidate) { return CompareNoCase(name, candidate); });
}

int CSGMLParser::FindAttribute(const std::string& name) const {
  const SGMLTagDef& tag = m_pDtd->tags[m_nCurrentTag];
  return BinarySearch(
      0, m_nAttributeCount, [&tag](int i) { return tag.attributes[i]; },
      [&name](const char* candidate) { return CompareNoCase(name, candidate); });
}

int CSGMLParser::FindEntity(const std::string& name) const {
  return BinarySearch(
      0, m_pDtd->entityCount, [this](int i) { return m_pDtd->entities[i].name; },
      [&name](const char* candidate) { return Compare<false>(name, candidate); });
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
    slot.m_strValue.swap(m_strToken);  // the token is cleared below; its buffer is reused
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

void CSGMLParser::Text(const unsigned char* from, const unsigned char* to) {
  const int index = TopIndex();
  OnText(index < 0 ? nullptr : &m_pDtd->tags[index], index, reinterpret_cast<const char*>(from),
         static_cast<std::size_t>(to - from));
}

// What the comment state makes of bytes other than '>': a '-' sets the flag
// when the byte before it was one too, blanks keep it, anything else clears
// it. So the last byte that is not a blank decides.
void CSGMLParser::CommentRun(const unsigned char* from, const unsigned char* to) {
  if (from == to) return;
  const unsigned char* last = to;
  while (last != from && (last[-1] == ' ' || last[-1] == '\r' || last[-1] == '\n')) --last;
  if (last != from) {
    const unsigned char before = last - 1 != from ? last[-2] : m_cPrevious;
    m_bDashes = last[-1] == '-' && before == '-';
  }
  m_cPrevious = to[-1];
}

// Each state first takes the run of bytes that leave it where it is, then
// the byte that ends the run: that byte is consumed, or left for the next
// state to take as its own (the "handle the byte as state N" of the table),
// which is the same as the next state's run starting on it. Callbacks see
// Position() at the byte that caused them. The latest '<' is noted only
// where it can start a tag name, the one place it is read (BeginTag).
void CSGMLParser::Parse(const char* data, std::size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const auto* const end = p + length;
  const std::int64_t last = m_nPosition + static_cast<std::int64_t>(length);
  // The position of the byte at q.
  const auto at = [last, end](const unsigned char* q) { return last - (end - q) + 1; };
  const unsigned char* q = p;
  while (p != end) {
    switch (m_state) {
      case State::kContent: {  // text up to '<', a line feed, or '&' inside an element with content
        const int type = TopType();
        q = FindText(p, end, type == 5 || type == 4);
        if (q != p) {
          m_nPosition = at(q) - 1;
          Text(p, q);
        }
        if ((p = q) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        m_strToken.clear();
        if (byte == '<') {
          m_nLastOpen = m_nPosition;
          m_state = State::kTagName;
        } else {
          m_state = byte == '\n' ? State::kLineFeed : State::kAfterAmpersand;
        }
        break;
      }

      case State::kTagName: {  // the name after '<'
        q = Find(p, end, kNameStop);
        AppendName(p, q);
        if ((p = q) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        if (byte == '<') m_nLastOpen = m_nPosition;
        if (byte == '!') {
          m_state = State::kDeclaration;
          break;
        }
        if (byte == '/') {
          m_state = State::kEndTagName;
          break;
        }
        const int index = FindTag(m_strToken);
        if (index < 0) {
          m_state = byte == '>' ? State::kContent : State::kSkipTag;
          break;
        }
        BeginTag(index);
        if (byte != '>')
          m_state = State::kBetweenAttributes;
        else if (CompleteStartTag())
          m_state = State::kAfterStartTag;
        break;
      }

      case State::kBetweenAttributes:  // blanks before an attribute name or the '>'
        if ((p = Find(p, end, kBlankRunStop)) == end) break;
        m_nPosition = at(p);
        if (*p == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
        } else {
          AppendName(*p);  // even '=': the name starts with it
          m_state = State::kAttributeName;
        }
        ++p;
        break;

      case State::kAttributeName: {  // an attribute name, up to a blank, '=' or '>'
        q = Find(p, end, kAttributeNameStop);
        AppendName(p, q);
        if ((p = q) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        if (!LookUpAttribute(byte)) break;
        if (byte == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
        } else {
          m_state = byte == '=' ? State::kAfterEquals : State::kAfterAttributeName;
        }
        break;
      }

      case State::kAfterAttributeName: {  // blanks after a name: '=', '>' or the next name
        if ((p = Find(p, end, kBlankRunStop)) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        if (byte == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
        } else if (byte == '=') {
          m_state = State::kAfterEquals;
        } else {
          AppendName(byte);
          m_state = State::kAttributeName;
        }
        break;
      }

      case State::kAfterEquals: {  // blanks after '=': a quote, '>' or an unquoted value
        if ((p = Find(p, end, kBlankRunStop)) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        if (byte == '>') {
          if (CompleteStartTag()) m_state = State::kAfterStartTag;
        } else if (byte == '\'') {
          m_state = State::kSingleQuotedValue;
        } else if (byte == '"') {
          m_state = State::kDoubleQuotedValue;
        } else {
          AppendValue(p - 1, p);
          m_state = State::kUnquotedValue;
        }
        break;
      }

      case State::kUnquotedValue: {  // a value up to a blank or '>'
        q = Find(p, end, kUnquotedStop);
        AppendValue(p, q);
        if ((p = q) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        if (!StoreValue(byte, false)) break;
        if (byte != '>')
          m_state = State::kBetweenAttributes;
        else if (CompleteStartTag())
          m_state = State::kAfterStartTag;
        break;
      }

      case State::kSingleQuotedValue:    // a value up to its quote or '>'
      case State::kDoubleQuotedValue: {  // the same in double quotes
        const unsigned char quote = m_state == State::kSingleQuotedValue ? '\'' : '"';
        q = FindQuoteEnd(p, end, quote);
        AppendValue(p, q);
        if ((p = q) == end) break;
        m_nPosition = at(p);
        if (*p++ == quote) {
          if (StoreValue(quote, true)) m_state = State::kBetweenAttributes;
        } else if (StoreValue('>', false) && CompleteStartTag()) {
          // An unclosed quote ends at the tag's end; what the page meant as
          // the rest of the value becomes text.
          m_state = State::kContent;
        }
        break;
      }

      case State::kAfterStartTag:  // line feeds right after a start tag are dropped
        if (*p == '\n' && TopType() != 1)
          ++p;
        else
          m_state = State::kContent;
        break;

      case State::kLineFeed:  // a line feed waits for the next byte
        m_nPosition = at(p);
        if (*p == '<') {
          m_nLastOpen = m_nPosition;
          m_strToken.clear();
          m_state = State::kLineFeedOpen;
          ++p;
        } else {
          Character('\n');
          m_state = State::kContent;
        }
        break;

      case State::kLineFeedOpen:  // a line feed and '<': the line feed before an end tag is layout
        m_nPosition = at(p);
        if (*p != '/') Character('\n');
        m_state = State::kTagName;
        break;

      case State::kEndTagName: {  // the name after '</'
        q = Find(p, end, kNameStop);
        AppendName(p, q);
        if ((p = q) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        const int index = m_strToken.empty() ? TopIndex() : FindTag(m_strToken);
        if (index >= 0) {
          m_nCurrentTag = index;
          CloseElement(index);
        }
        m_strToken.clear();
        m_nCurrentAttribute = -1;
        m_state = byte == '>' ? State::kContent : State::kSkipTag;
        break;
      }

      case State::kSkipTag:  // an unknown or malformed tag, up to its '>'
        if ((p = FindByte(p, end, '>')) == end) break;
        ++p;
        m_state = State::kContent;
        break;

      case State::kAfterAmpersand:  // '#' or an entity name
        if (*p == '#') {
          ++p;
          m_state = State::kNumericReference;
        } else {
          m_state = State::kEntityName;
        }
        break;

      case State::kEntityName:  // letters and digits of an entity name; the terminator is consumed if found
        q = Find(p, end, kNameStop);
        m_strToken.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p));
        if ((p = q) == end) break;
        m_nPosition = at(p);
        m_state = State::kContent;
        if (ResolveEntity()) ++p;
        break;

      case State::kNumericReference:  // the digits after '&#'; the terminator is consumed
        q = Find(p, end, kNameStop);
        m_strToken.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p));
        if ((p = q) == end) break;
        m_nPosition = at(p);
        ++p;
        m_state = State::kContent;
        ResolveNumber();
        break;

      case State::kDeclaration: {  // '<!' up to '>' outside brackets, or '--' opening a comment
        q = Find(p, end, kDeclarationStop);
        if (q != p) m_cPrevious = q[-1];
        if ((p = q) == end) break;
        const unsigned char byte = *p++;
        if (byte == '-' && m_cPrevious == '-') {
          m_cPrevious = 0;
          m_bDashes = false;
          m_state = State::kComment;
          break;
        }
        if (byte == '[') {
          ++m_nBracketDepth;
        } else if (byte == ']') {
          if (m_nBracketDepth > 0) --m_nBracketDepth;
        } else if (byte == '>' && m_nBracketDepth == 0) {
          m_state = State::kContent;
        }
        m_cPrevious = byte;
        break;
      }

      case State::kComment:  // up to '--', blanks and '>'
        q = FindByte(p, end, '>');
        CommentRun(p, q);
        if ((p = q) == end) break;
        ++p;
        if (m_bDashes) m_state = State::kContent;
        m_bDashes = false;
        m_cPrevious = '>';
        break;
    }
  }
  m_nPosition = last;
}
