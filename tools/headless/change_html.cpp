// The change report as a page for any browser. Everything that comes from
// a page or the log is escaped, and shown only so far.
#include <strings.h>

#include "change_anchor.h"
#include "change_output.h"
#include "display_text.h"
#include "html_escape.h"

namespace harvion {

namespace {

constexpr std::size_t kMaxShownAddress = 300;

const char kStyle[] =
    "body{font:15px/1.45 system-ui,sans-serif;margin:1.5em auto;max-width:60em;padding:0 1em;color:#222}"
    "h1{font-size:1.5em;margin:0 0 .2em}h2{font-size:1.15em;margin:1.4em 0 .4em;border-bottom:1px solid #ccc}"
    ".run{color:#555;margin:0 0 1em}ul{list-style:none;padding:0;margin:0}"
    "li{margin:0 0 .9em;padding:.3em .5em;border-left:4px solid #ddd}"
    "li.new{border-color:#2a8a3e}li.modified{border-color:#2465b0}li.gone{border-color:#888}"
    "li.failed{border-color:#b3261e}.title{font-weight:600}.address{display:block;color:#555;font-size:.9em;"
    "word-break:break-all}.note,.reason{color:#555;font-style:italic}.earlier{font-size:.9em;color:#555}"
    ".change{margin:.3em 0 0;padding:.3em .5em;background:#f6f6f6;overflow-wrap:anywhere}"
    "ins{background:#d4f4d9;text-decoration:none}del{background:#fbd8d5}"
    ":target{background:#fff8d6}";

// Text for an element or an attribute: UTF-8, markup characters as
// references, control characters left out.
std::string Escaped(std::string_view bytes) {
  std::string text = Utf8Text(bytes);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  std::string out;
  out.reserve(text.size());
  AppendEscapedHtml(out, text);
  return out;
}

std::string Shown(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return Escaped(text);
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return Escaped(text.substr(0, cut)) + "…";
}

// An address for href: bytes a link may not hold as they are become %XX.
std::string LinkTarget(std::string_view target, bool keepReserved) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : target) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("-._~/").find(c) != std::string_view::npos ||
                       (keepReserved && std::string_view(":?#[]@!$&()*+,;=%").find(c) != std::string_view::npos);
    if (plain) {
      out += c == '&' ? "&amp;" : std::string(1, c);
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

// Only web addresses are linked: a log could hold a "javascript:" one.
bool IsWebAddress(const std::string& address) {
  return strncasecmp(address.c_str(), "http://", 7) == 0 || strncasecmp(address.c_str(), "https://", 8) == 0;
}

void AppendChange(std::string& html, const TextChange& change) {
  html += "<p class=\"change\">";
  if (change.moreBefore) html += "… ";
  bool first = true;
  for (const TextSegment& segment : change.segments) {
    if (!first && segment.spaceBefore) html += ' ';
    first = false;
    const char* tag = segment.kind == WordRun::Kind::removed ? "del"
                      : segment.kind == WordRun::Kind::added ? "ins"
                                                             : nullptr;
    if (tag) html += std::string("<") + tag + ">";
    html += Escaped(segment.text);
    if (tag) html += std::string("</") + tag + ">";
  }
  if (change.moreAfter) html += " …";
  html += "</p>\n";
}

void AppendPage(std::string& html, const PageChange& change) {
  const LoggedPage& page = change.page;
  html += "<li class=\"" + std::string(ChangeKindName(page.kind)) + "\" id=\"" + ChangeAnchor(page.address) + "\">";
  const std::string address = Shown(page.address, kMaxShownAddress);
  const std::string title = page.title.empty() ? address : Escaped(page.title);
  const bool stored = !page.file.empty() && IsInsideFolder(page.file);
  const std::string addressLink =
      IsWebAddress(page.address) ? "href=\"" + LinkTarget(page.address, true) + "\"" : std::string();
  // An untitled page without a copy is named by its address alone.
  const bool addressOnly = page.title.empty() && !stored;
  if (stored)
    html += "<a class=\"title\" href=\"" + LinkTarget(page.file, false) + "\">" + title + "</a>";
  else if (addressOnly && !addressLink.empty())
    html += "<a class=\"title\" " + addressLink + ">" + title + "</a>";
  else
    html += "<span class=\"title\">" + title + "</span>";
  if (!page.reason.empty()) html += " <span class=\"reason\">(" + Escaped(page.reason) + ")</span>";
  // The copy before is there until the next run.
  if (!page.previous.empty() && IsInsideFolder(page.previous) && change.difference != Difference::previousGone &&
      change.difference != Difference::olderRun)
    html += " <a class=\"earlier\" href=\"" + LinkTarget(page.previous, false) + "\">(the copy before)</a>";
  if (!addressOnly) {
    if (!addressLink.empty())
      html += "<a class=\"address\" " + addressLink + ">" + address + "</a>";
    else
      html += "<span class=\"address\">" + address + "</span>";
  }
  for (const TextChange& text : change.changes) AppendChange(html, text);
  if (change.changesNotShown > 0)
    html += "<p class=\"note\">" + std::to_string(change.changesNotShown) + " more changes not shown</p>";
  if (const std::string note = DifferenceNote(change.difference); !note.empty())
    html += "<p class=\"note\">" + Escaped(note) + "</p>";
  html += "</li>\n";
}

}  // namespace

std::string ChangesHtml(const ChangeView& view) {
  const LoggedRun& run = view.run;
  const std::string agent = Escaped(view.agentName);
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Changes: " + agent +
                     ", run " + std::to_string(run.number) + "</title>\n<style>" + kStyle +
                     "</style></head>\n<body>\n<h1>What changed in " + agent + "</h1>\n";
  html += "<p class=\"run\">Run " + std::to_string(run.number) + ", " + RunTimesText(run) + (run.completed ? ", completed" : ", stopped before its end") + ": " +
          std::to_string(run.counts[0]) + " new, " + std::to_string(run.counts[1]) + " modified, " +
          std::to_string(run.counts[2]) + " gone, " + std::to_string(run.counts[3]) + " failed.</p>\n";
  static const char* const kHeadings[] = {"New pages", "Modified pages", "Gone pages", "Failed pages"};
  for (int kind = 0; kind < 4; ++kind) {
    std::size_t listed = 0;
    std::string items;
    for (const PageChange& change : view.pages) {
      if (static_cast<int>(change.page.kind) != kind) continue;
      ++listed;
      AppendPage(items, change);
    }
    if (run.counts[kind] == 0 && listed == 0) continue;
    html += "<h2 id=\"" + std::string(ChangeKindName(static_cast<ChangeKind>(kind))) + "\">" + kHeadings[kind] +
            " (" + std::to_string(run.counts[kind]) + ")</h2>\n<ul>\n" + items + "</ul>\n";
    if (run.counts[kind] > listed)
      html += "<p class=\"note\">" + std::to_string(run.counts[kind] - listed) + " more not listed</p>\n";
  }
  if (run.counts[0] + run.counts[1] + run.counts[2] + run.counts[3] == 0) html += "<p>Nothing changed.</p>\n";
  html += "</body></html>\n";
  return html;
}

}  // namespace harvion
