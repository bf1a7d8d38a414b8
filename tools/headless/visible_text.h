// The text a reader sees of a stored page, so that a report can say which
// words changed rather than which bytes of markup did.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace harvion {

// The page's text in UTF-8, its words separated by single spaces: tags,
// comments and the content of script, style, template and title left out,
// character references decoded (a page that is not UTF-8 read as Latin-1),
// white space (also no-break spaces and control bytes) collapsed. One pass
// over the bytes; markup cut short ends the text.
std::string VisibleText(std::string_view html);

// A word, or one ASCII punctuation character, of a text made by
// VisibleText: differences then keep "gales." apart from "gales or snow.".
struct TextToken {
  std::string_view text;  // into the text
  bool spaceBefore = false;
};
std::vector<TextToken> Tokens(std::string_view text);

}  // namespace harvion
