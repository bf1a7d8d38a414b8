#include "engine/html/foreign_content.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Far deeper than any page nests; past it nothing more is pushed, and
// the reading stays as it is.
constexpr std::size_t kMaxDepth = 256;

std::string Lower(const std::string& name) {
  std::string lower = name;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// name, whatever its case, is lower (which is lower case).
bool IsNamed(const std::string& name, std::string_view lower) {
  return name.size() == lower.size() &&
         std::equal(name.begin(), name.end(), lower.begin(),
                    [](char c, char l) { return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == l; });
}

template <std::size_t N>
bool OneOf(const std::string& name, const std::array<std::string_view, N>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// HTML start tags that end SVG and MathML wherever they appear in it. A
// <font> does so only with some attributes: it is left out, which keeps
// the markup reading.
constexpr std::array<std::string_view, 44> kBreakOut = {
    "b",  "big", "blockquote", "body", "br",     "center", "code", "dd",    "div",    "dl",  "dt",
    "em", "embed", "h1",       "h2",   "h3",     "h4",     "h5",   "h6",    "head",   "hr",  "i",
    "img", "li", "listing",    "menu", "meta",   "nobr",   "ol",   "p",     "pre",    "ruby", "s",
    "small", "span", "strong", "strike", "sub",  "sup",    "table", "tt",   "u",      "ul",  "var"};
constexpr std::array<std::string_view, 3> kSvgIslands = {"foreignobject", "desc", "title"};
// annotation-xml is an island only with some encodings: left out as <font>.
constexpr std::array<std::string_view, 5> kMathIslands = {"mi", "mo", "mn", "ms", "mtext"};

}  // namespace

bool ForeignContent::StartTag(const std::string& tagName, bool selfClosing) {
  if (!Active()) {
    // Outside SVG and MathML, as nearly every tag is, only their own names count.
    const bool svg = IsNamed(tagName, "svg");
    const bool math = !svg && IsNamed(tagName, "math");
    if (!selfClosing && m_frames.size() < kMaxDepth && (svg || math))
      m_frames.push_back({svg ? "svg" : "math", svg ? Kind::kSvg : Kind::kMath});
    return !svg && !math;
  }
  const std::string name = Lower(tagName);
  if (OneOf(name, kBreakOut)) {
    while (Active()) m_frames.pop_back();
    return true;
  }
  if (selfClosing || m_frames.size() >= kMaxDepth) return false;
  const Kind kind = m_frames.back().kind;
  if (name == "svg" || name == "math") {
    // Inside one, the other's name makes an element of the first kind.
    m_frames.push_back({name, kind});
  } else if (kind == Kind::kSvg ? OneOf(name, kSvgIslands) : OneOf(name, kMathIslands)) {
    m_frames.push_back({name, Kind::kHtml});
  }
  return false;
}

void ForeignContent::EndTag(const std::string& tagName) {
  if (m_frames.empty()) return;
  const std::string name = Lower(tagName);
  // The innermost element of its name closes, with everything inside it,
  // but not past an island: an HTML element open in it would keep it open,
  // and this side cannot tell. Closing the island itself, or stopping
  // short, keeps reading markup.
  for (std::size_t i = m_frames.size(); i-- > 0;) {
    if (m_frames[i].name == name) {
      m_frames.resize(i);
      return;
    }
    if (m_frames[i].kind == Kind::kHtml) return;
  }
}
