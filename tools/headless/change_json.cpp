// The change report as JSON, for scripts; the shape is documented in
// docs/change-report.md and only ever grows.
#include <cstdio>

#include "change_anchor.h"
#include "change_output.h"
#include "display_text.h"

namespace harvion {

namespace {

// A JSON string: UTF-8, with quotes, backslashes and control characters
// escaped, and '<' and '>' too, so that it can sit inside a page.
std::string String(std::string_view bytes) {
  const std::string text = Utf8Text(bytes);
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || c == '<' || c == '>' || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const char* SegmentKind(WordRun::Kind kind) {
  switch (kind) {
    case WordRun::Kind::removed: return "removed";
    case WordRun::Kind::added: return "added";
    case WordRun::Kind::same: break;
  }
  return "same";
}

void WritePage(std::ostream& out, const PageChange& change) {
  const LoggedPage& page = change.page;
  out << "{\"kind\": " << String(ChangeKindName(page.kind)) << ", \"address\": " << String(page.address)
      << ", \"anchor\": " << String(ChangeAnchor(page.address)) << ", \"title\": " << String(page.title)
      << ", \"file\": " << String(page.file) << ", \"previous\": " << String(page.previous)
      << ", \"reason\": " << String(page.reason) << ", \"difference\": " << String(DifferenceName(change.difference))
      << ", \"changes\": [";
  for (std::size_t i = 0; i < change.changes.size(); ++i) {
    const TextChange& text = change.changes[i];
    out << (i ? ", " : "") << "{\"moreBefore\": " << (text.moreBefore ? "true" : "false")
        << ", \"moreAfter\": " << (text.moreAfter ? "true" : "false") << ", \"segments\": [";
    for (std::size_t s = 0; s < text.segments.size(); ++s)
      out << (s ? ", " : "") << "{\"kind\": " << String(SegmentKind(text.segments[s].kind))
          << ", \"spaceBefore\": " << (text.segments[s].spaceBefore ? "true" : "false")
          << ", \"text\": " << String(text.segments[s].text) << "}";
    out << "]}";
  }
  out << "], \"changesNotShown\": " << change.changesNotShown << "}";
}

}  // namespace

void WriteChangesJson(std::ostream& out, const ChangeView& view) {
  const LoggedRun& run = view.run;
  out << "{\n  \"agent\": " << String(view.agentName) << ",\n  \"folder\": " << String(view.agentFolder)
      << ",\n  \"run\": " << run.number << ",\n  \"start\": " << run.start << ",\n  \"end\": " << run.end
      << ",\n  \"completed\": " << (run.completed ? "true" : "false")
      << ",\n  \"latest\": " << (view.latest ? "true" : "false") << ",\n  \"counts\": {\"new\": " << run.counts[0]
      << ", \"modified\": " << run.counts[1] << ", \"gone\": " << run.counts[2] << ", \"failed\": " << run.counts[3]
      << "},\n  \"pages\": [";
  for (std::size_t i = 0; i < view.pages.size(); ++i) {
    out << (i ? ",\n    " : "\n    ");
    WritePage(out, view.pages[i]);
  }
  out << (view.pages.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace harvion
