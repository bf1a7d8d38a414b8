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
constexpr bool IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// Inside tags the blanks are those a browser reads there: a control byte is
// part of a name or value, so taking it for a blank would end a tag where a
// browser does not.
constexpr bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// The bytes that end a run in each state; see Parse.
using StopTable = std::array<bool, 256>;
constexpr StopTable kTextStop = MakeTable([](int c) { return c == '<' || c == '\n'; });
constexpr StopTable kTextStopWithReferences = MakeTable([](int c) { return c == '<' || c == '\n' || c == '&'; });
constexpr StopTable kNameStop = MakeTable([](int c) { return !IsName(c); });
constexpr StopTable kLetterStop = MakeTable([](int c) { return !IsLetter(c); });
constexpr StopTable kTagNameStop = MakeTable([](int c) { return IsBlank(c) || c == '/' || c == '>'; });
constexpr StopTable kAttributeNameStop = MakeTable([](int c) { return IsBlank(c) || c == '/' || c == '>' || c == '='; });
constexpr StopTable kUnquotedStop = MakeTable([](int c) { return IsBlank(c) || c == '>'; });
constexpr StopTable kBlankRunStop = MakeTable([](int c) { return !IsBlank(c); });
constexpr StopTable kCommentStop = MakeTable([](int c) { return c == '-' || c == '!' || c == '>'; });
constexpr StopTable kEscapedScriptStop = MakeTable([](int c) { return c == '<' || c == '\n' || c == '-' || c == '>'; });

// Elements whose text a browser reads up to their own end tag with no
// markup in it: a tag there is text. Title and textarea decode references.
constexpr const char* kRawTextNames[] = {"iframe", "noembed", "noframes", "noscript", "plaintext",
                                         "script", "style",   "textarea", "title",    "xmp"};
constexpr int kPlaintext = 4;  // nothing ends it
constexpr int kScript = 5;
constexpr std::size_t kLongestRawTextName = 9;
bool DecodesReferences(int rawText) { return rawText == 7 || rawText == 8; }

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
  const void* found = std::memchr(p, quote, static_cast<std::size_t>(end - p));
  return found ? static_cast<const unsigned char*>(found) : end;
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

int FindRawText(const std::string& name) {
  if (name.size() < 3 || name.size() > kLongestRawTextName) return -1;
  // Most tags are passed over on their first letter.
  const unsigned char first = kLower[static_cast<unsigned char>(name[0])];
  for (int i = 0; i < static_cast<int>(std::size(kRawTextNames)); ++i)
    if (static_cast<unsigned char>(kRawTextNames[i][0]) == first && CompareNoCase(name, kRawTextNames[i]) == 0)
      return i;
  return -1;
}

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
  if (const SGMLTagDef* other = dtd->otherTags)
    for (int a = 0; a < other->attributeCount; ++a) longest = std::max(longest, std::strlen(other->attributes[a]));
  m_nNameLimit = std::max({longest, kLongestRawTextName, ForeignContent::kLongestName}) + 1;
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

std::int64_t CSGMLParser::PendingMarkup() const {
  switch (m_state) {
    case State::kTagOpen:
    case State::kEndTagOpen:
    case State::kLineFeedOpen:
    case State::kTagName:
    case State::kBetweenAttributes:
    case State::kAttributeName:
    case State::kAfterAttributeName:
    case State::kAfterEquals:
    case State::kUnquotedValue:
    case State::kSingleQuotedValue:
    case State::kDoubleQuotedValue:
    case State::kSelfClosing:
      return m_nLastOpen;
    default:
      return 0;
  }
}

std::int64_t CSGMLParser::OpenTagStart() const {
  switch (m_state) {
    case State::kTagOpen:
    case State::kLineFeedOpen:
      return m_nLastOpen;
    case State::kTagName:
      return m_bEndTag ? 0 : m_nLastOpen;
    case State::kBetweenAttributes:
    case State::kAttributeName:
    case State::kAfterAttributeName:
    case State::kAfterEquals:
    case State::kUnquotedValue:
    case State::kSingleQuotedValue:
    case State::kDoubleQuotedValue:
    case State::kSelfClosing:
      return Collecting() ? m_nTagStart : 0;
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
  if (m_nCurrentAttribute < 0) return;
  const auto n = static_cast<std::size_t>(to - from);
  if (m_strToken.size() + n > kMaxValueLength) {
    // Kept whole or not at all: a value cut short would name another address.
    m_attributes[m_nCurrentAttribute].m_bPresent = 0;
    m_nCurrentAttribute = -1;
    m_strToken.clear();
    return;
  }
  m_strToken.append(reinterpret_cast<const char*>(from), n);
}

int CSGMLParser::FindTag(const std::string& name) const {
  if (name.empty() || !IsLetter(static_cast<unsigned char>(name[0]))) return -1;
  const TagRange& range = m_tagsByLetter[kLower[static_cast<unsigned char>(name[0])] & 0x7F];
  return BinarySearch(
      range.first, range.end, [this](int i) { return m_pDtd->tags[i].name; },
      [&name](const char* candidate) { return CompareNoCase(name, candidate); });
}

int CSGMLParser::FindAttribute(const std::string& name) const {
  const SGMLTagDef& tag = TagAt(m_nCurrentTag);
  return BinarySearch(
      0, m_nAttributeCount, [&tag](int i) { return tag.attributes[i]; },
      [&name](const char* candidate) { return CompareNoCase(name, candidate); });
}

int CSGMLParser::FindEntity(const std::string& name) const {
  return BinarySearch(
      0, m_pDtd->entityCount, [this](int i) { return m_pDtd->entities[i].name; },
      [&name](const char* candidate) { return Compare<false>(name, candidate); });
}

void CSGMLParser::EndTagName() {
  const int index = FindTag(m_strToken);
  if (m_bEndTag) {
    m_nCurrentTag = index;
  } else {
    m_nTagRawText = FindRawText(m_strToken);
    if (index >= 0)
      BeginTag(index);
    else if (m_pDtd->otherTags)
      BeginTag(m_pDtd->tagCount);
    else
      m_nCurrentTag = -1;
  }
  m_strTagName = m_strToken;
  m_strToken.clear();
  m_nCurrentAttribute = -1;
}

void CSGMLParser::BeginTag(int tagIndex) {
  const SGMLTagDef& tag = TagAt(tagIndex);
  m_nCurrentTag = tagIndex;
  // A table that lists more attributes than there are slots loses the rest.
  m_nAttributeCount = tag.attributes == nullptr ? 0 : std::min(tag.attributeCount, kMaxAttributes);
  for (int i = 0; i < m_nAttributeCount; ++i) {
    m_attributes[i].m_bPresent = 0;
    m_attributes[i].m_strValue.clear();
  }
  m_nTagStart = m_nLastOpen;
}

bool CSGMLParser::TagTooLong() {
  if (m_nPosition - m_nTagStart < kMaxTagLength) return false;
  // Read on to its end as any other tag, only without its event.
  m_nCurrentTag = -1;
  m_nCurrentAttribute = -1;
  return true;
}

void CSGMLParser::LookUpAttribute() {
  m_nCurrentAttribute = -1;
  if (Collecting() && !TagTooLong()) {
    m_nCurrentAttribute = FindAttribute(m_strToken);
    if (m_nCurrentAttribute >= 0) {
      CSGMLAttribute& slot = m_attributes[m_nCurrentAttribute];
      const auto offset = static_cast<int>(m_nPosition - m_nTagStart);
      slot.m_bPresent = 1;
      slot.m_nStart = offset - static_cast<int>(m_strToken.size());
      slot.m_nEnd = offset - 1;
    }
  }
  m_strToken.clear();
}

void CSGMLParser::StoreValue(bool closedByQuote) {
  if (m_nCurrentAttribute >= 0 && !TagTooLong()) {
    CSGMLAttribute& slot = m_attributes[m_nCurrentAttribute];
    slot.m_strValue.swap(m_strToken);  // the token is cleared below; its buffer is reused
    slot.m_nEnd = static_cast<int>(m_nPosition - m_nTagStart) - (closedByQuote ? 0 : 1);
  }
  m_nCurrentAttribute = -1;
  m_strToken.clear();
}

void CSGMLParser::CompleteTag() {
  m_state = State::kContent;
  if (m_bEndTag) {
    m_bEndTag = false;
    if (m_nCurrentTag >= 0) CloseElement(m_nCurrentTag);
    m_foreign.EndTag(m_strTagName);
  } else {
    m_nRawText = m_foreign.StartTag(m_strTagName, m_bSelfClosing) ? m_nTagRawText : -1;
    m_nScriptEscape = ScriptEscape::kNone;
    m_nScriptDashes = 0;
    if (Collecting() && !TagTooLong()) {
      const SGMLTagDef& tag = TagAt(m_nCurrentTag);
      if (!IsEmptyType(tag.contentType)) m_stack.push_back(m_nCurrentTag);
      // Other tags leave the line feeds after them as they were.
      if (m_nCurrentTag < m_pDtd->tagCount) m_state = State::kAfterStartTag;
      OnStartTag(&tag, static_cast<int>(m_nPosition - m_nTagStart + 1), m_nCurrentTag, m_attributes);
    }
  }
  m_nCurrentTag = -1;
  m_nCurrentAttribute = -1;
  m_bSelfClosing = false;
  m_strToken.clear();
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

void CSGMLParser::RawTextAfterAll() {
  Character('<');
  if (m_bEndTag) Character('/');
  for (char c : m_strToken) Character(static_cast<unsigned char>(c));
  m_strToken.clear();
  m_bEndTag = false;
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
  // of range however long the number is. "x" starts hexadecimal digits, as
  // pages have written apostrophes and quotes for years ("&#x27;").
  const bool hex = !m_strToken.empty() && (m_strToken[0] == 'x' || m_strToken[0] == 'X');
  std::int64_t n = 0;
  for (std::size_t i = hex ? 1 : 0; i < m_strToken.size(); ++i) {
    const char c = m_strToken[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      break;
    n = n * (hex ? 16 : 10) + digit;
    if (n > kMaxCharacterCode) return;
  }
  if (n > 0) Character(static_cast<int>(n));
}

void CSGMLParser::Text(const unsigned char* from, const unsigned char* to) {
  const int index = TopIndex();
  OnText(index < 0 ? nullptr : &m_pDtd->tags[index], index, reinterpret_cast<const char*>(from),
         static_cast<std::size_t>(to - from));
}

// A comment ends at "-->" or "--!>", and right after its "<!--" or "<!---"
// at a '>', as a browser ends it.
void CSGMLParser::CommentByte(unsigned char byte) {
  if (byte == '-') {
    m_nCommentDashes = m_bCommentBang ? 1 : std::min(m_nCommentDashes + 1, 2);
    m_bCommentBang = false;
    m_nCommentStart = m_nCommentStart == 2 ? 1 : 0;
  } else if (byte == '!' && m_nCommentDashes == 2 && !m_bCommentBang) {
    m_bCommentBang = true;
    m_nCommentDashes = 0;
    m_nCommentStart = 0;
  } else {
    m_nCommentDashes = 0;
    m_bCommentBang = false;
    m_nCommentStart = 0;
  }
}

bool CSGMLParser::CommentEndsAtBracket() const {
  return m_nCommentStart > 0 || m_nCommentDashes == 2 || m_bCommentBang;
}

// Each state first takes the run of bytes that leave it where it is, then
// the byte that ends the run: that byte is consumed, or left for the next
// state to take as its own (the "handle the byte as state N" of the table),
// which is the same as the next state's run starting on it. Callbacks see
// Position() at the byte that caused them. The latest '<' is noted where it
// can open a tag, the one place it is read (BeginTag).
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
        if (m_nScriptEscape != ScriptEscape::kNone)
          q = Find(p, end, kEscapedScriptStop);
        else
          q = FindText(p, end, (type == 5 || type == 4) && (m_nRawText < 0 || DecodesReferences(m_nRawText)));
        if (q != p) {
          m_nPosition = at(q) - 1;
          m_nScriptDashes = 0;
          Text(p, q);
        }
        if ((p = q) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        m_strToken.clear();
        if (byte == '-' || byte == '>') {
          // A script's text inside "<!--" ends that at "-->".
          if (byte == '>' && m_nScriptDashes == 2) m_nScriptEscape = ScriptEscape::kNone;
          m_nScriptDashes = byte == '-' ? std::min(m_nScriptDashes + 1, 2) : 0;
          Character(byte);
        } else {
          m_nScriptDashes = 0;
          if (byte == '<') {
            m_nLastOpen = m_nPosition;
            m_state = State::kTagOpen;
            // Most tags open with a name, or '/' and a name: straight to it.
            if (m_nRawText < 0 && p != end) {
              if (IsLetter(*p)) {
                m_bEndTag = false;
                m_state = State::kTagName;
              } else if (*p == '/' && end - p >= 2 && IsLetter(p[1])) {
                ++p;
                m_bEndTag = true;
                m_state = State::kTagName;
              }
            }
          } else {
            m_state = byte == '\n' ? State::kLineFeed : State::kAfterAmpersand;
          }
        }
        break;
      }

      case State::kTagOpen: {  // after '<': a tag only where a letter, '/', '!' or '?' follows
        m_nPosition = at(p);
        const unsigned char byte = *p;
        if (m_nRawText >= 0) {
          if (byte == '/' && m_nRawText != kPlaintext) {
            ++p;
            m_state = State::kEndTagOpen;
          } else if (m_nRawText == kScript && byte == '!' && m_nScriptEscape == ScriptEscape::kNone) {
            ++p;
            Character('<');
            Character('!');
            m_state = State::kMarkupDeclaration;
          } else if (m_nScriptEscape == ScriptEscape::kEscaped && IsLetter(byte)) {
            m_bEndTag = false;  // "<script" here starts no script, but its end tag ends none either
            m_state = State::kTagName;
          } else {
            Character('<');
            m_state = State::kContent;
          }
        } else if (IsLetter(byte)) {
          m_bEndTag = false;
          m_state = State::kTagName;
        } else if (byte == '/' || byte == '!' || byte == '?') {
          ++p;
          m_state = byte == '/' ? State::kEndTagOpen : byte == '!' ? State::kMarkupDeclaration : State::kBogusComment;
        } else {
          Character('<');  // as in "a < b"
          m_state = State::kContent;
        }
        break;
      }

      case State::kEndTagOpen: {  // after '</'
        m_nPosition = at(p);
        const unsigned char byte = *p;
        if (IsLetter(byte)) {
          m_bEndTag = true;
          m_state = State::kTagName;
        } else if (m_nRawText >= 0) {
          Character('<');
          Character('/');
          m_state = State::kContent;
        } else if (byte == '>') {
          ++p;
          if (!m_stack.empty()) CloseElement(TopIndex());  // '</>' closes the innermost element
          m_state = State::kContent;
        } else {
          m_state = State::kBogusComment;
        }
        break;
      }

      // The states of a tag follow each other here in their usual order, so
      // a tag with its attributes mostly passes from one to the next without
      // going back to the dispatch.
      case State::kTagName: {  // the name of a start or end tag
        if (m_nRawText >= 0) {
          // In raw text only the element's own end tag is markup.
          q = Find(p, end, kLetterStop);
          AppendName(p, q);
          if ((p = q) == end) break;
          m_nPosition = at(p);
          const unsigned char byte = *p;
          const bool named = (IsBlank(byte) || byte == '/' || byte == '>') &&
                             CompareNoCase(m_strToken, kRawTextNames[m_nRawText]) == 0;
          if (named && m_bEndTag && m_nScriptEscape != ScriptEscape::kDouble) {
            m_nRawText = -1;
            m_nScriptEscape = ScriptEscape::kNone;
          } else {
            if (named) m_nScriptEscape = m_bEndTag ? ScriptEscape::kEscaped : ScriptEscape::kDouble;
            RawTextAfterAll();
            m_state = State::kContent;
            break;
          }
        } else {
          q = Find(p, end, kTagNameStop);
          AppendName(p, q);
          if ((p = q) == end) break;
        }
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        EndTagName();
        if (byte == '>') {
          CompleteTag();
          break;
        }
        if (byte == '/') {
          m_state = State::kSelfClosing;
          break;
        }
        m_state = State::kBetweenAttributes;
        [[fallthrough]];
      }

      case State::kBetweenAttributes:  // blanks before an attribute name, '/' or the '>'
        if ((p = Find(p, end, kBlankRunStop)) == end) break;
        m_nPosition = at(p);
        if (*p == '>' || *p == '/') {
          if (*p++ == '>')
            CompleteTag();
          else
            m_state = State::kSelfClosing;
          break;
        }
        if (Collecting()) AppendName(*p);  // even '=': the name starts with it
        ++p;
        m_state = State::kAttributeName;
        [[fallthrough]];

      case State::kAttributeName: {  // an attribute name, up to a blank, '/', '=' or '>'
        q = Find(p, end, kAttributeNameStop);
        if (Collecting()) AppendName(p, q);
        if ((p = q) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        LookUpAttribute();
        if (byte != '=') {
          if (byte == '>')
            CompleteTag();
          else
            m_state = byte == '/' ? State::kSelfClosing : State::kAfterAttributeName;
          break;
        }
        m_state = State::kAfterEquals;
        [[fallthrough]];
      }

      case State::kAfterEquals: {  // blanks after '=': a quote, '>' or an unquoted value
        if ((p = Find(p, end, kBlankRunStop)) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        if (byte == '>') {
          CompleteTag();
          break;
        }
        if (byte == '\'') {
          m_state = State::kSingleQuotedValue;
        } else if (byte == '"') {
          m_state = State::kDoubleQuotedValue;
        } else {
          AppendValue(p - 1, p);
          m_state = State::kUnquotedValue;
        }
        [[fallthrough]];
      }

      case State::kUnquotedValue:        // a value up to a blank or '>'
      case State::kSingleQuotedValue:    // a value up to its closing quote, '>' and all
      case State::kDoubleQuotedValue: {  // the same in double quotes
        if (m_state == State::kUnquotedValue) {
          q = Find(p, end, kUnquotedStop);
          AppendValue(p, q);
          if ((p = q) == end) break;
          m_nPosition = at(p);
          const unsigned char byte = *p++;
          StoreValue(false);
          if (byte == '>')
            CompleteTag();
          else
            m_state = State::kBetweenAttributes;
          break;
        }
        const unsigned char quote = m_state == State::kSingleQuotedValue ? '\'' : '"';
        q = FindQuoteEnd(p, end, quote);
        AppendValue(p, q);
        if ((p = q) == end) break;
        m_nPosition = at(p);
        ++p;
        StoreValue(true);
        m_state = State::kBetweenAttributes;
        break;
      }

      case State::kSelfClosing:  // after '/' in a tag: '>' ends it, anything else starts over
        m_nPosition = at(p);
        if (*p == '>') {
          ++p;
          m_bSelfClosing = true;
          CompleteTag();
        } else {
          m_state = State::kBetweenAttributes;
        }
        break;

      case State::kAfterAttributeName: {  // blanks after a name: '=', '/', '>' or the next name
        if ((p = Find(p, end, kBlankRunStop)) == end) break;
        m_nPosition = at(p);
        const unsigned char byte = *p++;
        if (byte == '>') {
          CompleteTag();
        } else if (byte == '=') {
          m_state = State::kAfterEquals;
        } else if (byte == '/') {
          m_state = State::kSelfClosing;
        } else {
          if (Collecting()) AppendName(byte);
          m_state = State::kAttributeName;
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
        m_state = State::kTagOpen;
        break;

      case State::kBogusComment:  // '<?', '<!' and '</' without a name, a doctype: up to '>'
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

      case State::kMarkupDeclaration:  // after '<!': '-' may open a comment
      case State::kMarkupDash: {       // after '<!-'
        const unsigned char byte = *p;
        if (m_nRawText >= 0) {
          // In a script, "<!--" is text that makes "</script>" inside it
          // "<script>" ... "</script>" no end.
          if (byte != '-') {
            m_state = State::kContent;
            break;
          }
          ++p;
          Character('-');
          if (m_state == State::kMarkupDash) {
            m_nScriptEscape = ScriptEscape::kEscaped;
            m_nScriptDashes = 2;
            m_state = State::kContent;
          } else {
            m_state = State::kMarkupDash;
          }
          break;
        }
        if (byte == '-' && m_state == State::kMarkupDash) {
          m_nCommentStart = 2;
          m_nCommentDashes = 0;
          m_bCommentBang = false;
          m_state = State::kComment;
        } else if (byte == '-') {
          m_state = State::kMarkupDash;
        } else if (byte == '>') {
          m_state = State::kContent;
        } else if (byte == '[' && m_state == State::kMarkupDeclaration && m_foreign.Active()) {
          m_nCdata = 1;
          m_state = State::kCdataOpen;
        } else {
          m_state = State::kBogusComment;
          break;
        }
        ++p;
        break;
      }

      case State::kCdataOpen: {  // "<![" and part of "CDATA["; anything else makes a bogus comment
        static constexpr char kOpen[] = "[CDATA[";
        if (*p != static_cast<unsigned char>(kOpen[m_nCdata])) {
          m_state = State::kBogusComment;
          break;
        }
        ++p;
        if (++m_nCdata == 7) {
          m_nCdata = 0;
          m_state = State::kCdata;
        }
        break;
      }

      case State::kCdata: {  // text up to "]]>"
        if (m_nCdata == 0 && (p = FindByte(p, end, ']')) == end) break;
        const unsigned char byte = *p++;
        if (byte == ']') {
          m_nCdata = std::min(m_nCdata + 1, 2);
        } else if (byte == '>' && m_nCdata == 2) {
          m_nCdata = 0;
          m_state = State::kContent;
        } else {
          m_nCdata = 0;
        }
        break;
      }

      case State::kComment:  // up to "-->" or "--!>"
        q = Find(p, end, kCommentStop);
        if (q != p) CommentByte(' ');
        if ((p = q) == end) break;
        if (*p == '>' && CommentEndsAtBracket())
          m_state = State::kContent;
        else
          CommentByte(*p);
        ++p;
        break;
    }
  }
  m_nPosition = last;
}
