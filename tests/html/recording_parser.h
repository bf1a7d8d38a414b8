// A tokenizer with a small table of its own that writes every event as a
// line of text, and checks on every event what must always hold. Shared by
// the unit tests and the fuzz target. It takes text a character at a time,
// or, given the document, as the runs the tokenizer hands out, checking each
// run against the document at its position.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "engine/html/sgml_parser.h"

namespace hvtest {

inline const char* const kAAttributes[] = {"HREF", "NAME", "TARGET"};
inline const char* const kAreaAttributes[] = {"ALT", "COORDS", "HREF", "SHAPE"};
inline const char* const kBaseAttributes[] = {"HREF", "TARGET"};
inline const char* const kBodyAttributes[] = {"BACKGROUND"};
inline const char* const kFrameAttributes[] = {"NAME", "SRC"};
inline const char* const kImgAttributes[] = {"ALIGN", "ALT", "HEIGHT", "LOWSRC", "SRC", "USEMAP", "WIDTH"};
inline const char* const kMapAttributes[] = {"NAME"};
inline const char* const kMetaAttributes[] = {"CONTENT", "HTTP-EQUIV", "NAME"};

// Both kinds of element in both of their numbers: BASE is an empty element
// of type 7, MAP an element with content of type 4.
inline const SGMLTagDef kRecordingTags[] = {
    {"A", kAAttributes, 3, 5},        {"AREA", kAreaAttributes, 4, 1}, {"BASE", kBaseAttributes, 2, 7},
    {"BODY", kBodyAttributes, 1, 5},  {"BR", nullptr, 0, 1},           {"FRAME", kFrameAttributes, 2, 1},
    {"IMG", kImgAttributes, 7, 1},    {"MAP", kMapAttributes, 1, 4},   {"META", kMetaAttributes, 3, 1},
    {"TITLE", nullptr, 0, 5},
};
inline const SGMLDtd kRecordingDtd = {kRecordingTags, static_cast<int>(std::size(kRecordingTags)), kSGMLEntities,
                                      100};

// Printable ASCII stays as it is; anything else, and the brace, reads {code}.
inline void AppendCode(std::string& out, int code) {
  if (code >= 0x20 && code < 0x7F && code != '{') {
    out += static_cast<char>(code);
  } else {
    out += '{';
    out += std::to_string(code);
    out += '}';
  }
}

// Events, one string each:
//   t:TAG:text        characters, merged while the innermost element stays
//                     the same ("-" at top level)
//   s:TAG:LENGTH NAME[start,end]=value ...   a start tag, present attributes
//   e:TAG             an end tag
// Broken invariants go to faults instead.
class CRecordingParser : public CSGMLParser {
 public:
  // With the document, text is taken in runs.
  explicit CRecordingParser(const std::string* document = nullptr)
      : CSGMLParser(&kRecordingDtd), m_pDocument(document) {}

  std::vector<std::string> events;
  std::vector<std::string> faults;

 protected:
  void OnCharacter(const SGMLTagDef* tag, int tagIndex, int code) override { Text(tag, tagIndex, code); }

  void OnText(const SGMLTagDef* tag, int tagIndex, const char* text, std::size_t length) override {
    if (!m_pDocument) return CSGMLParser::OnText(tag, tagIndex, text, length);
    const auto from = Position() - static_cast<std::int64_t>(length);
    if (length == 0 || from < 0 || m_pDocument->compare(static_cast<std::size_t>(from), length, text, length) != 0)
      Fault("run of " + std::to_string(length) + " bytes not as in the document");
    for (std::size_t i = 0; i < length; ++i) Text(tag, tagIndex, static_cast<unsigned char>(text[i]));
  }

  void OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) override {
    CheckIndex(tag, tagIndex);
    const bool empty = tag->contentType == 1 || tag->contentType == 7;
    if ((Top() == tag) == empty) Fault(std::string("stack at the start of ") + tag->name);
    if (tagLength < 2 || tagLength > Position()) Fault("tag length " + std::to_string(tagLength));
    std::string line = std::string("s:") + tag->name + ":" + std::to_string(tagLength);
    for (int i = 0; i < tag->attributeCount; ++i) {
      const CSGMLAttribute& a = attributes[i];
      if (!a.m_bPresent) continue;
      if (a.m_nStart < 1 || a.m_nEnd < a.m_nStart || a.m_nEnd > tagLength - 2)
        Fault(std::string("offsets of ") + tag->attributes[i]);
      line += std::string(" ") + tag->attributes[i] + "[" + std::to_string(a.m_nStart) + "," +
              std::to_string(a.m_nEnd) + "]=";
      for (unsigned char c : a.m_strValue) AppendCode(line, c);
    }
    events.push_back(line);
  }

  void OnEndTag(const SGMLTagDef* tag, int tagIndex) override {
    CheckIndex(tag, tagIndex);
    if (tag->contentType == 1 || tag->contentType == 7) Fault(std::string("end of empty ") + tag->name);
    events.push_back(std::string("e:") + tag->name);
  }

 private:
  void Text(const SGMLTagDef* tag, int tagIndex, int code) {
    if (tag != Top()) Fault("character outside the innermost element");
    CheckIndex(tag, tagIndex);
    const std::string head = std::string("t:") + (tag ? tag->name : "-") + ":";
    if (events.empty() || events.back().compare(0, head.size(), head) != 0) events.push_back(head);
    AppendCode(events.back(), code);
  }
  void CheckIndex(const SGMLTagDef* tag, int tagIndex) {
    if (tagIndex != IndexOf(tag) || (tag == nullptr) != (tagIndex == -1)) Fault("tag index");
  }
  void Fault(const std::string& what) { faults.push_back(what + " at byte " + std::to_string(Position())); }

  const std::string* m_pDocument = nullptr;
};

struct Recording {
  std::vector<std::string> events;
  std::vector<std::string> faults;
};

// The events of one document fed in pieces of the given size (0: whole),
// its text taken a character or a run at a time.
enum class Text { kCharacters, kRuns };
inline Recording Record(const std::string& document, std::size_t piece = 0, Text text = Text::kCharacters) {
  CRecordingParser parser(text == Text::kRuns ? &document : nullptr);
  if (piece == 0) {
    parser.Parse(document.data(), document.size());
  } else {
    for (std::size_t at = 0; at < document.size(); at += piece)
      parser.Parse(document.data() + at, std::min(piece, document.size() - at));
  }
  return {std::move(parser.events), std::move(parser.faults)};
}

}  // namespace hvtest
