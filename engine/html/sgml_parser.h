// A small push tokenizer for HTML, fed one byte at a time, that knows only
// the tags of its table. It keeps a stack of open elements, collects the
// attributes of known start tags with their byte offsets, decodes character
// references in element content and reports characters, start tags and end
// tags to its subclass. Unknown tags are skipped whole. Input may stop at
// any byte and resume with the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
  // A known start tag is complete: tagLength bytes from its '<' to its '>';
  // the first attributeCount slots of attributes belong to its attributes.
  // An element with content is already on the stack.
  virtual void OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes);
  virtual void OnEndTag(const SGMLTagDef* tag, int tagIndex);

  // The tokenizer step for one byte (position already counted).
  void ProcessChar(unsigned char byte);

  // Bytes fed so far; the byte being processed has this 1-based position.
  std::int64_t Position() const { return m_nPosition; }
  const SGMLDtd* Dtd() const { return m_pDtd; }
  // Index of a tag definition in the table.
  int IndexOf(const SGMLTagDef* tag) const;
  // The innermost open element, or null.
  const SGMLTagDef* Top() const;

 private:
  // ... the tokenizer state lives here (written with the implementation).
  const SGMLDtd* m_pDtd;
  std::int64_t m_nPosition = 0;
};
