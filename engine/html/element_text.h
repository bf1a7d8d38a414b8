// The words of an element as a parser collects them (a link's text, a
// page's title): the page's own bytes, with character references written in
// the page's encoding. A page in UTF-8 gets its references in UTF-8; a page
// of single bytes gets each reference as its Latin-1 byte, or, when one is
// beyond Latin-1, the whole text in UTF-8 (never a '?' for a character).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class ElementText {
 public:
  explicit ElementText(std::size_t limit) : m_nLimit(limit) {}

  bool Full() const { return m_text.size() >= m_nLimit; }
  bool Empty() const { return m_text.empty(); }
  // Bytes as the page has them, up to the limit (never ending inside a
  // UTF-8 sequence).
  void AddBytes(const char* bytes, std::size_t length);
  // A character reference's code point.
  void AddCharacter(int code);
  // The text in the page's encoding; the collection starts afresh.
  std::string Take();
  void Clear();

 private:
  std::string m_text;  // references in UTF-8 until Take decides
  struct Reference {
    std::size_t offset;
    std::size_t length;
    int code;
  };
  std::vector<Reference> m_references;  // those beyond ASCII
  std::size_t m_nLimit;
};

// Whether bytes are well-formed UTF-8.
bool IsValidUtf8(const std::string& bytes);
