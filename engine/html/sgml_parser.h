// A small push tokenizer for HTML that knows only the tags of its table. It
// keeps a stack of open elements, collects the attributes of known start tags
// with their byte offsets, decodes character references in element content
// and reports text, start tags and end tags to its subclass. Unknown tags are
// skipped whole. Tags, quoted values, comments and the text of elements such
// as SCRIPT end where a browser ends them, so the stored copy of a page, whose
// tags are rewritten at these offsets, holds no markup a browser did not see
// in the page. Input may stop at any byte and resume with the next call; the
// events do not depend on where it stops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/html/foreign_content.h"
#include "platform/framework/serial.h"

struct SGMLTagDef {
  const char* name;                // upper case
  const char* const* attributes;   // sorted ascending, case-insensitive
  int attributeCount;              // at most 20
  int contentType;                 // 1 or 7: empty element; 5 or 4: element with content
};

struct SGMLEntityDef {
  const char* name;
  int code;  // ISO 8859-1
};

struct SGMLDtd {
  const SGMLTagDef* tags;  // sorted by name, case-insensitive
  int tagCount;
  const SGMLEntityDef* entities;  // sorted by name, byte order
  int entityCount;
  // When set, every other start tag is read as this one, with the index
  // tagCount: an empty element whose attributes are collected.
  const SGMLTagDef* otherTags = nullptr;
};

// The 100 character entities every table shares, in byte order of the names.
extern const SGMLEntityDef kSGMLEntities[100];

class CSGMLAttribute : public CObject {
 public:
  int m_bPresent = 0;
  std::string m_strValue;  // without its quotes
  int m_nStart = 0;        // first byte of the name, from the tag's '<' at 0
  int m_nEnd = 0;          // last byte of the value (its closing quote) or of the name
};

class CSGMLParser : public CObject {
 public:
  static constexpr int kMaxAttributes = 20;
  // Offsets inside a tag are ints: a start tag that grows longer than this
  // is dropped and skipped to its '>' like an unknown tag.
  static constexpr std::int64_t kMaxTagLength = 0x7FFFFFFF;
  // A value longer than this is not kept: its attribute counts as absent.
  static constexpr std::size_t kMaxValueLength = 256u << 10;
  // Numeric references above this are no characters and yield nothing.
  static constexpr int kMaxCharacterCode = 0x10FFFF;

  CSGMLParser(const CSGMLParser&) = delete;
  CSGMLParser& operator=(const CSGMLParser&) = delete;
  ~CSGMLParser() override;

  // Feeds the bytes; subclasses may copy them elsewhere first, then call this.
  virtual void Parse(const char* data, std::size_t length);

 protected:
  explicit CSGMLParser(const SGMLDtd* dtd);

  // Hooks for literal text and declarations; nothing calls them with content
  // yet, and they do nothing.
  virtual void OnLiteralText(const std::string& text);
  virtual void OnDeclaration(const std::string& text);
  // One character of content; tag is the innermost open element (null and
  // -1 at top level); code is a byte or a decoded reference.
  virtual void OnCharacter(const SGMLTagDef* tag, int tagIndex, int code);
  // A run of content bytes as they stand in the page, all inside the same
  // element; Position() is that of the run's last byte. By default each byte
  // goes to OnCharacter (with its own position), so a subclass that wants
  // whole runs overrides this and still gets references from OnCharacter.
  virtual void OnText(const SGMLTagDef* tag, int tagIndex, const char* text, std::size_t length);
  // A known start tag is complete: tagLength bytes from its '<' to its '>';
  // the first attributeCount slots of attributes belong to its attributes.
  // An element with content is already on the stack.
  virtual void OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes);
  virtual void OnEndTag(const SGMLTagDef* tag, int tagIndex);

  // Bytes fed so far; the byte being processed has this 1-based position.
  std::int64_t Position() const { return m_nPosition; }
  // The position of the '<' of a start tag still being read, which a later
  // OnStartTag counts its length from; 0 when none is being read.
  std::int64_t OpenTagStart() const;
  // The position of the most recent '<' (in OnEndTag, the end tag's own).
  std::int64_t LastOpen() const { return m_nLastOpen; }
  // The position of the '<' of a start or end tag still being read, whose
  // bytes may yet turn out to be markup; 0 when none is.
  std::int64_t PendingMarkup() const;
  const SGMLDtd* Dtd() const { return m_pDtd; }
  // Index of a tag definition in the table.
  int IndexOf(const SGMLTagDef* tag) const;
  // The definition of a tag index, otherTags included.
  const SGMLTagDef& TagAt(int tagIndex) const {
    return tagIndex == m_pDtd->tagCount ? *m_pDtd->otherTags : m_pDtd->tags[tagIndex];
  }
  // The innermost open element, or null.
  const SGMLTagDef* Top() const;

 private:
  // The numbers below 20 are those of the state table the tokenizer was
  // first written from; 1 is unused. The tag and comment states read markup
  // as a browser does, so a tag ends where a browser ends it.
  enum class State : std::uint8_t {
    kContent = 0,
    kTagName = 2,
    kBetweenAttributes = 3,
    kAttributeName = 4,
    kAfterAttributeName = 5,
    kAfterEquals = 6,
    kUnquotedValue = 7,
    kAfterStartTag = 8,
    kLineFeed = 9,
    kLineFeedOpen = 10,
    kAfterAmpersand = 11,
    kNumericReference = 12,
    kSingleQuotedValue = 13,
    kDoubleQuotedValue = 14,
    kEntityName = 16,
    kBogusComment = 17,
    kComment = 19,
    kTagOpen = 20,
    kEndTagOpen = 21,
    kSelfClosing = 22,
    kMarkupDeclaration = 23,
    kMarkupDash = 24,
    kCdataOpen = 25,  // "<![" in SVG or MathML: "CDATA[" may follow
    kCdata = 26,      // a CDATA section: text up to "]]>"
  };

  int TopType() const;
  int TopIndex() const { return m_stack.empty() ? -1 : m_stack.back(); }
  void Character(int code);
  void AppendName(unsigned char byte);
  void AppendName(const unsigned char* from, const unsigned char* to);
  // Value bytes are kept only for an attribute of the table, and only up
  // to kMaxValueLength: a longer value drops its attribute.
  void AppendValue(const unsigned char* from, const unsigned char* to);
  // Hands a run of content to OnText; Position() is at its last byte.
  void Text(const unsigned char* from, const unsigned char* to);
  // Binary searches over the table; -1 when not found.
  int FindTag(const std::string& name) const;
  int FindAttribute(const std::string& name) const;
  int FindEntity(const std::string& name) const;
  // At the end of a tag's name: what the tag is and how it is read.
  void EndTagName();
  void BeginTag(int tagIndex);
  // These compute offsets inside a tag being collected. Each stops the
  // collection, reading the rest of the tag without events, when the tag
  // has grown too long for them (see kMaxTagLength).
  void LookUpAttribute();
  void StoreValue(bool closedByQuote);
  // At the tag's '>': the start tag's event, or the end tag's closing; the
  // state that follows.
  void CompleteTag();
  bool Collecting() const { return m_nCurrentTag >= 0 && !m_bEndTag; }
  bool TagTooLong();
  void CloseElement(int tagIndex);
  // In the text of a raw-text element, "</" and the name bytes read so far
  // turned out to be text.
  void RawTextAfterAll();
  // True when the entity was found; otherwise its text has been delivered
  // and the terminator still has to be handled as content.
  bool ResolveEntity();
  void ResolveNumber();
  // A comment's bytes other than '>', and whether a '>' now ends it.
  void CommentByte(unsigned char byte);
  bool CommentEndsAtBracket() const;

  const SGMLDtd* m_pDtd;
  State m_state = State::kContent;
  std::int64_t m_nPosition = 0;
  std::int64_t m_nTagStart = 0;  // position of the '<' of the start tag being read
  std::int64_t m_nLastOpen = 0;  // position of the most recent '<'
  int m_nCurrentTag = -1;        // index of the start tag being read
  int m_nCurrentAttribute = -1;  // slot whose value is being read
  int m_nAttributeCount = 0;     // slots that belong to the current tag
  // Names longer than any in the table cannot match, so their bytes past
  // this length are not kept.
  std::size_t m_nNameLimit = 0;
  // The tags whose names begin with each (lower-case ASCII) letter.
  struct TagRange {
    int first = 0;
    int end = 0;
  };
  TagRange m_tagsByLetter[128];
  std::string m_strToken;
  std::vector<int> m_stack;  // indices of the open elements, innermost last
  CSGMLAttribute m_attributes[kMaxAttributes];
  // The tag being read is an end tag.
  bool m_bEndTag = false;
  // Index in the raw-text names of the element whose text is being read
  // (its markup is text up to its own end tag), or of the start tag being
  // read; -1 for none.
  int m_nRawText = -1;
  int m_nTagRawText = -1;
  // A script's text after "<!--" (escaped) and after a "<script" there
  // (double escaped), as a browser reads them; dashes just seen, up to 2.
  enum class ScriptEscape : std::uint8_t { kNone, kEscaped, kDouble };
  ScriptEscape m_nScriptEscape = ScriptEscape::kNone;
  int m_nScriptDashes = 0;
  // A comment: dashes just seen (0 to 2), "--!" just seen, and how far it
  // is from its "<!--" (2 just after it, 1 after one more dash, else 0).
  int m_nCommentDashes = 0;
  bool m_bCommentBang = false;
  int m_nCommentStart = 0;
  // Inside SVG and MathML a browser reads no raw text; the name and form of
  // the tag being read decide where that is.
  ForeignContent m_foreign;
  std::string m_strTagName;
  bool m_bSelfClosing = false;
  // Of "[CDATA[" the bytes matched; in a CDATA section the ']' just seen (up to 2).
  int m_nCdata = 0;
};
