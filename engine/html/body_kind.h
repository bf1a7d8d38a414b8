// How a page's body is read and stored, by the content type of its answer:
// markup goes through the link parser, a stylesheet through the CSS
// rewriter, and anything else (text, pictures, scripts, documents) is
// stored byte for byte, since rewriting what looks like a tag in it would
// change a file that is no page.
#pragma once

#include <string>

namespace hv::html {

enum class BodyKind { markup, stylesheet, plain };

// An answer without a content type is read as markup, as it always was.
BodyKind BodyKindOf(const std::string& contentType);

}  // namespace hv::html
