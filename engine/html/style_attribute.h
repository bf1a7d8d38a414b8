// The CSS of a style="" attribute in a stored page. The value is read as a
// browser reads it (character references first, then CSS), and only the
// bytes of the references that change are replaced, so the rest of the
// attribute keeps the page's bytes.
#pragma once

#include <functional>
#include <string>

#include "engine/html/css_scanner.h"
#include "engine/html/sgml_parser.h"

namespace hv {

// The slot of a tag's STYLE attribute, -1 when its table lists none.
int StyleSlot(const SGMLTagDef& tag);

// value (as the page has it) with each reference replaced by what replace
// gives for it (a CSS string in single quotes, or url() around one; empty
// keeps the reference); the value itself when nothing changes. A '&' that
// replace gives is written as a reference, so what the attribute says is
// the text given; the writer of the attribute escapes its quotes.
std::string RewriteStyleAttribute(const std::string& value,
                                  const std::function<std::string(const CCssScanner::Reference&)>& replace);

}  // namespace hv
