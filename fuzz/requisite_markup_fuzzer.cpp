// Feeds arbitrary pages with the tags of a page's requisites to the parser
// of a retrieved page and reads the stored copy back with a tokenizer that
// knows those tags and some attributes beside the links: the copy must hold
// the same tags, the same attributes, the same values outside the links,
// the same text and, in every srcset, as many candidates. So no rewritten
// value ends its attribute or tag early or adds one. Also stops when the
// copy is not written completely or differs between whole and pieces.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "engine/html/srcset.h"
#include "html/recording_owner.h"
#include "scratch_folder.h"

namespace {

[[noreturn]] void Fail(const std::string& what) { hvfuzz::Fail("requisite_markup_fuzzer", what); }

const char* const kA[] = {"HREF", "ID", "ONCLICK", "TITLE"};
const char* const kAudio[] = {"ID", "SRC"};
const char* const kBody[] = {"BACKGROUND", "ONLOAD"};
const char* const kEmbed[] = {"SRC", "TYPE"};
const char* const kIframe[] = {"ID", "SRC", "SRCDOC"};
const char* const kImg[] = {"ALT", "ID", "ISMAP", "ONERROR", "SRC", "SRCSET"};
const char* const kInput[] = {"ID", "SRC", "TYPE"};
const char* const kLink[] = {"AS", "HREF", "ID", "REL"};
const char* const kObject[] = {"DATA", "ID"};
const char* const kSource[] = {"ID", "SRC", "SRCSET", "TYPE"};
const char* const kVideo[] = {"ID", "ONERROR", "POSTER", "SRC"};

// All empty elements: the check is about tags and text, not nesting.
const SGMLTagDef kTags[] = {
    {"A", kA, 4, 1},         {"AUDIO", kAudio, 2, 1},   {"BODY", kBody, 2, 1},     {"EMBED", kEmbed, 2, 1},
    {"IFRAME", kIframe, 3, 1}, {"IMG", kImg, 6, 1},     {"INPUT", kInput, 3, 1},   {"LINK", kLink, 4, 1},
    {"OBJECT", kObject, 2, 1}, {"SCRIPT", kAudio, 2, 1}, {"SOURCE", kSource, 4, 1}, {"TRACK", kAudio, 2, 1},
    {"VIDEO", kVideo, 4, 1},
};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100};

bool IsLink(const std::string& name) {
  return name == "HREF" || name == "SRC" || name == "SRCSET" || name == "POSTER" || name == "DATA" ||
         name == "BACKGROUND";
}

class Structure : public CSGMLParser {
 public:
  Structure() : CSGMLParser(&kDtd) {}
  std::vector<std::string> events;

 protected:
  void OnCharacter(const SGMLTagDef*, int, int code) override {
    if (events.empty() || events.back().rfind("t:", 0) != 0) events.emplace_back("t:");
    events.back() += std::to_string(code) + ",";
  }
  void OnStartTag(const SGMLTagDef* tag, int, int, CSGMLAttribute* attributes) override {
    std::string line = std::string("s:") + tag->name;
    for (int i = 0; i < tag->attributeCount; ++i) {
      if (!attributes[i].m_bPresent) continue;
      const std::string name = tag->attributes[i];
      line += " " + name;
      if (name == "SRCSET")
        line += "=" + std::to_string(hv::html::SrcsetUrls(attributes[i].m_strValue).size());
      else if (!IsLink(name))
        line += "=" + attributes[i].m_strValue;
    }
    events.push_back(line);
  }
};

std::vector<std::string> StructureOf(const std::string& page) {
  Structure parser;
  parser.Parse(page.data(), page.size());
  return parser.events;
}

hvtest::PageSite::Mapped Run(const std::string& document, std::size_t piece) {
  hvtest::PageSite site;
  site.Store("http://host/css/site.css", "3S000002.css");
  site.Store("http://host/img/logo.gif", "3S000003.gif");
  site.Store("http://host/dir/inner.html", "3S000004.html");
  hvtest::PageSite::Mapped mapped = site.Map(document, piece);
  if (mapped.finished != 1) Fail("page file not finished");
  return mapped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  hvfuzz::UseScratchFolder("requisite_markup_fuzzer");
  const std::size_t piece = 1u + data[0] % 64u;
  const std::string document(reinterpret_cast<const char*>(data + 1), size - 1);

  const hvtest::PageSite::Mapped whole = Run(document, 0);
  const hvtest::PageSite::Mapped pieces = Run(document, piece);
  if (whole.copy != pieces.copy) Fail("copies differ between whole and pieces");
  if (whole.log != pieces.log) Fail("links differ between whole and pieces");
  // A BASE is left out of the copy, which joins the bytes around it: a page
  // can make a tag of them on purpose, so only pages without one are held
  // to the same structure.
  std::string lower = document;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower.find("base") == std::string::npos && StructureOf(whole.copy) != StructureOf(document))
    Fail("the copy's tags, attributes or text differ from the page's");
  return 0;
}
