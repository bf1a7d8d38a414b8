// Text written into a double-quoted attribute of a page we generate or
// rewrite. Addresses come from pages and users; a '"', '<' or '>' in one
// would end the attribute or the tag, so they are percent-encoded. Every
// other byte, '%' included, is written as it is.
#pragma once

#include <string>

namespace hv {

namespace detail {

// Appends value with each '"', '<' and '>' written as the text given for it;
// the runs between them go on whole.
inline void AppendEscaped(std::string& out, const std::string& value, const char* quote, const char* less,
                          const char* greater) {
  const char* run = value.data();
  const char* const end = run + value.size();
  for (const char* p = run; p != end; ++p) {
    if (*p != '"' && *p != '<' && *p != '>') continue;
    out.append(run, p);
    out += *p == '"' ? quote : *p == '<' ? less : greater;
    run = p + 1;
  }
  out.append(run, end);
}

}  // namespace detail

inline void AppendAttributeText(std::string& out, const std::string& value) {
  detail::AppendEscaped(out, value, "%22", "%3C", "%3E");
}

// A value taken from a page's attribute, where its references still mean
// what they meant there, written back between double quotes: only the bytes
// that could end the value or be read as markup are written as references.
inline void AppendQuotedValue(std::string& out, const std::string& value) {
  detail::AppendEscaped(out, value, "&quot;", "&lt;", "&gt;");
}

inline std::string AttributeText(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  AppendAttributeText(out, value);
  return out;
}

}  // namespace hv
