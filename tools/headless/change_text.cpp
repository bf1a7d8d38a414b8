// The change report for a terminal.
#include <ctime>

#include "change_output.h"
#include "display_text.h"

namespace harvion {

namespace {

constexpr ChangeKind kKinds[] = {ChangeKind::added, ChangeKind::modified, ChangeKind::gone, ChangeKind::failed};

void WriteChange(std::ostream& out, const TextChange& change) {
  out << "    ";
  if (change.moreBefore) out << "… ";
  bool first = true;
  for (const TextSegment& segment : change.segments) {
    if (!first && segment.spaceBefore) out << ' ';
    first = false;
    const std::string text = Printable(segment.text);
    if (segment.kind == WordRun::Kind::removed)
      out << "[-" << text << "-]";
    else if (segment.kind == WordRun::Kind::added)
      out << "{+" << text << "+}";
    else
      out << text;
  }
  if (change.moreAfter) out << " …";
  out << '\n';
}

}  // namespace

std::string LocalTimeText(std::uint32_t seconds) {
  if (seconds == 0) return "-";
  const std::time_t time = seconds;
  std::tm local{};
  char text[32] = "-";
  if (::localtime_r(&time, &local)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string RunTimesText(const LoggedRun& run) {
  const std::string start = LocalTimeText(run.start);
  const std::string end = LocalTimeText(run.end);
  // The end within the same day needs no date.
  const bool sameDay = start.size() == end.size() && start.size() > 11 && start.compare(0, 11, end, 0, 11) == 0;
  return start + " to " + (sameDay ? end.substr(11) : end);
}

void WriteChangesText(std::ostream& out, const ChangeView& view) {
  const LoggedRun& run = view.run;
  out << "agent " << Quoted(view.agentName) << ", run " << run.number << ": " << RunTimesText(run) << (run.completed ? ", completed" : ", stopped before its end") << '\n';
  out << run.counts[0] << " new, " << run.counts[1] << " modified, " << run.counts[2] << " gone, " << run.counts[3]
      << " failed\n";
  std::size_t listed[4] = {};
  for (const PageChange& change : view.pages) {
    const LoggedPage& page = change.page;
    ++listed[static_cast<int>(page.kind)];
    out << ChangeKindName(page.kind) << "  " << Printable(page.address);
    if (!page.file.empty()) out << "  " << Printable(view.agentFolder + "/" + page.file);
    if (!page.reason.empty()) out << "  (" << Printable(page.reason) << ")";
    if (!page.title.empty()) out << "  " << Quoted(page.title);
    out << '\n';
    for (const TextChange& text : change.changes) WriteChange(out, text);
    if (change.changesNotShown > 0) out << "    (" << change.changesNotShown << " more changes not shown)\n";
    if (const std::string note = DifferenceNote(change.difference); !note.empty()) out << "    (" << note << ")\n";
  }
  for (const ChangeKind kind : kKinds) {
    const std::size_t k = static_cast<std::size_t>(kind);
    if (run.counts[k] > listed[k])
      out << "(" << run.counts[k] - listed[k] << " more " << ChangeKindName(kind) << " pages not listed)\n";
  }
}

}  // namespace harvion
