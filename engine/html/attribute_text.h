// Text written into a double-quoted attribute of a page we generate or
// rewrite. Addresses come from pages and users; a '"', '<' or '>' in one
// would end the attribute or the tag, so they are percent-encoded. Every
// other byte, '%' included, is written as it is.
#pragma once

#include <string>

namespace hv {

inline void AppendAttributeText(std::string& out, const std::string& value) {
  for (char c : value) {
    switch (c) {
      case '"': out += "%22"; break;
      case '<': out += "%3C"; break;
      case '>': out += "%3E"; break;
      default: out += c;
    }
  }
}

// A value taken from a page's attribute, where its references still mean
// what they meant there, written back between double quotes: only the bytes
// that could end the value or be read as markup are written as references.
inline void AppendQuotedValue(std::string& out, const std::string& value) {
  for (char c : value) {
    switch (c) {
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
}

inline std::string AttributeText(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  AppendAttributeText(out, value);
  return out;
}

}  // namespace hv
