// Where a page is inside SVG or MathML, as a browser's tree builder sees
// it: there a <style>, <script>, <title> or <textarea> holds markup, not
// text, and <![CDATA[ opens a text section. The tokenizer must agree with a
// browser on this, or a quote a browser reads inside an attribute value
// ends up, in a rewritten copy, closing it.
//
// Only what decides the tokenizer's reading is kept: the svg and math
// elements and the islands of HTML inside them. Where that is not enough
// to know, it keeps reading markup, which can hide a link but never makes
// markup of text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class ForeignContent {
 public:
  // No name this class tells apart is longer.
  static constexpr std::size_t kLongestName = 13;  // "foreignobject"

  // Inside SVG or MathML, not in one of its HTML islands.
  bool Active() const { return !m_frames.empty() && m_frames.back().kind != Kind::kHtml; }
  // A complete start tag, the name in any case; true when the element is
  // an HTML one, which may hold raw text.
  bool StartTag(const std::string& name, bool selfClosing);
  void EndTag(const std::string& name);
  void Reset() { m_frames.clear(); }

 private:
  enum class Kind : unsigned char { kSvg, kMath, kHtml };
  struct Frame {
    std::string name;  // lower case
    Kind kind;
  };
  std::vector<Frame> m_frames;
};
