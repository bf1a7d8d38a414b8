// Text that many records hold alike: the addresses a site's pages link to
// and the texts of their navigation links. Each distinct text is kept once,
// counted, and freed with its last holder, so a link record costs a pointer
// where it cost a string and a copy of the text.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace hv {

class SharedText {
 public:
  SharedText() = default;
  SharedText(const std::string& text);  // NOLINT(google-explicit-constructor): held where strings were
  SharedText(const SharedText& other);
  SharedText(SharedText&& other) noexcept : m_entry(other.m_entry) { other.m_entry = nullptr; }
  SharedText& operator=(const SharedText& other);
  SharedText& operator=(SharedText&& other) noexcept;
  SharedText& operator=(const std::string& text);
  ~SharedText();

  const std::string& str() const;
  operator const std::string&() const { return str(); }  // NOLINT(google-explicit-constructor)
  const char* c_str() const { return str().c_str(); }
  std::size_t size() const { return str().size(); }
  bool empty() const { return m_entry == nullptr; }

  // Distinct texts held in the process (for tests of the counting).
  static std::size_t DistinctCount();

  struct Entry;

 private:
  void Release();

  Entry* m_entry = nullptr;  // null for the empty text
};

inline bool operator==(const SharedText& a, std::string_view b) { return std::string_view(a.str()) == b; }
inline bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
inline bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
inline bool operator==(const SharedText& a, const SharedText& b) { return a.str() == b.str(); }
inline std::string operator+(const SharedText& a, std::string_view b) { return a.str() + std::string(b); }
std::ostream& operator<<(std::ostream& out, const SharedText& text);

}  // namespace hv
