#include "engine/html/body_kind.h"

#include <algorithm>
#include <string_view>

#include "engine/html/css_rewriter.h"

namespace hv::html {

BodyKind BodyKindOf(const std::string& contentType) {
  if (IsStylesheetType(contentType)) return BodyKind::stylesheet;
  std::string_view type(contentType);
  type = type.substr(0, type.find(';'));
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!type.empty() && blank(type.front())) type.remove_prefix(1);
  while (!type.empty() && blank(type.back())) type.remove_suffix(1);
  if (type.empty()) return BodyKind::markup;
  std::string lower(type);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  // text/html, application/xhtml+xml, and what old servers called HTML
  return lower.find("html") != std::string::npos ? BodyKind::markup : BodyKind::plain;
}

}  // namespace hv::html
