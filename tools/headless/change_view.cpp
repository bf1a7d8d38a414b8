#include "change_view.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "visible_text.h"

namespace harvion {

namespace {

constexpr std::size_t kContext = 8;            // words (and marks) shown around a change
constexpr std::size_t kMaxSegmentWords = 60;   // words (and marks) shown of one run
constexpr std::size_t kMaxWordBytes = 120;     // bytes shown of one word
constexpr std::size_t kMaxChanges = 40;        // places shown per page
constexpr std::size_t kMaxCopy = 16u << 20;    // a larger copy is "changed throughout"

enum class Read { ok, missing, tooLarge, failed };

Read ReadCopy(const std::string& path, std::string& bytes, CopyReading* reading) {
  const auto started = std::chrono::steady_clock::now();
  struct stat info {};
  Read result = Read::ok;
  if (::stat(path.c_str(), &info) != 0) {
    result = Read::missing;
  } else if (!S_ISREG(info.st_mode)) {
    result = Read::failed;
  } else if (static_cast<std::size_t>(info.st_size) > kMaxCopy) {
    result = Read::tooLarge;
  } else {
    std::ifstream in(path, std::ios::binary);
    // One byte more than its size tells a file that grew since.
    const std::size_t limit = std::min(static_cast<std::size_t>(info.st_size) + 1, kMaxCopy + 1);
    bytes.resize(limit);
    in.read(bytes.data(), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (!in.eof() && !in && bytes.size() < limit) result = Read::failed;
    if (bytes.size() > kMaxCopy || bytes.size() == limit) result = Read::tooLarge;
  }
  if (reading) {
    reading->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    reading->bytes += bytes.size();
  }
  return result;
}

// A word cut to a few bytes, at a character's start.
void AppendWord(std::string& out, std::string_view word) {
  if (word.size() <= kMaxWordBytes) {
    out += word;
    return;
  }
  std::size_t cut = kMaxWordBytes;
  while (cut > 0 && (static_cast<unsigned char>(word[cut]) & 0xC0) == 0x80) --cut;
  out += word.substr(0, cut);
  out += "…";
}

TextSegment Segment(WordRun::Kind kind, const std::vector<TextToken>& words, std::size_t start, std::size_t count) {
  TextSegment segment{kind, words[start].spaceBefore, {}};
  const std::size_t shown = std::min(count, kMaxSegmentWords);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i && words[start + i].spaceBefore) segment.text += ' ';
    AppendWord(segment.text, words[start + i].text);
  }
  if (shown < count) segment.text += " …";
  return segment;
}

// Places of change from the runs, with kContext words around each; places
// closer than twice that share one entry.
void Collect(PageChange& page, const std::vector<WordRun>& runs, const std::vector<TextToken>& before,
             const std::vector<TextToken>& after) {
  TextChange* open = nullptr;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const WordRun& run = runs[i];
    const std::vector<TextToken>& words = run.kind == WordRun::Kind::added ? after : before;
    if (run.kind != WordRun::Kind::same) {
      if (!open) {
        if (page.changes.size() == kMaxChanges) {
          ++page.changesNotShown;
          while (i + 1 < runs.size() && runs[i + 1].kind != WordRun::Kind::same) ++i;
          continue;
        }
        page.changes.emplace_back();
        open = &page.changes.back();
        if (i > 0) {
          const WordRun& same = runs[i - 1];
          const std::size_t shown = std::min(same.count, kContext);
          open->moreBefore = shown < same.start + same.count;
          open->segments.push_back(Segment(WordRun::Kind::same, before, same.start + same.count - shown, shown));
        }
      }
      open->segments.push_back(Segment(run.kind, words, run.start, run.count));
      continue;
    }
    if (!open) continue;
    const bool last = i + 1 == runs.size();
    if (!last && run.count <= 2 * kContext) {
      open->segments.push_back(Segment(WordRun::Kind::same, before, run.start, run.count));
      continue;
    }
    const std::size_t shown = std::min(run.count, kContext);
    open->segments.push_back(Segment(WordRun::Kind::same, before, run.start, shown));
    open->moreAfter = shown < run.count;
    // The next place's context starts in this same run.
    open = nullptr;
  }
}

void Compare(PageChange& page, const std::string& folder, CopyReading* reading) {
  if (page.page.previous.empty() || !IsInsideFolder(page.page.previous)) {
    page.difference = Difference::noPrevious;
    return;
  }
  if (page.page.file.empty() || !IsInsideFolder(page.page.file)) {
    page.difference = Difference::unreadable;
    return;
  }
  std::string old, now;
  const Read first = ReadCopy(folder + "/" + page.page.previous, old, reading);
  if (first == Read::missing) {
    page.difference = Difference::previousGone;
    return;
  }
  const Read second = first == Read::ok ? ReadCopy(folder + "/" + page.page.file, now, reading) : first;
  if (second == Read::tooLarge) {
    page.difference = Difference::throughout;
    return;
  }
  if (second != Read::ok) {
    page.difference = Difference::unreadable;
    return;
  }
  const std::string oldText = VisibleText(old);
  const std::string newText = VisibleText(now);
  if (oldText == newText) {
    page.difference = Difference::sameText;
    return;
  }
  const std::vector<TextToken> before = Tokens(oldText);
  const std::vector<TextToken> after = Tokens(newText);
  const auto texts = [](const std::vector<TextToken>& tokens) {
    std::vector<std::string_view> views;
    views.reserve(tokens.size());
    for (const TextToken& token : tokens) views.push_back(token.text);
    return views;
  };
  const std::optional<std::vector<WordRun>> runs = DiffWords(texts(before), texts(after));
  if (!runs) {
    page.difference = Difference::throughout;
    return;
  }
  Collect(page, *runs, before, after);
  page.difference = page.changes.empty() ? Difference::sameText : Difference::shown;
}

}  // namespace

const char* DifferenceName(Difference difference) {
  switch (difference) {
    case Difference::none: return "none";
    case Difference::shown: return "shown";
    case Difference::sameText: return "same-text";
    case Difference::throughout: return "throughout";
    case Difference::noPrevious: return "no-previous-copy";
    case Difference::previousGone: return "previous-copy-gone";
    case Difference::olderRun: return "older-run";
    case Difference::unreadable: return "unreadable";
  }
  return "none";
}

const char* DifferenceNote(Difference difference) {
  switch (difference) {
    case Difference::none:
    case Difference::shown: return "";
    case Difference::sameText: return "the text reads the same; only its markup changed";
    case Difference::throughout: return "changed throughout (too large or too unlike to compare word by word)";
    case Difference::noPrevious: return "no earlier copy was kept to compare with";
    case Difference::previousGone: return "the earlier copy is no longer there";
    case Difference::olderRun: return "not compared: a later run has replaced the copies";
    case Difference::unreadable: return "a copy could not be read";
  }
  return "";
}

bool IsInsideFolder(const std::string& relative) {
  if (relative.empty() || relative.front() == '/' || relative.find('\0') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = relative.find('/', start);
    const std::string_view part =
        std::string_view(relative).substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

ChangeView MakeChangeView(const std::string& agentName, const std::string& agentFolder, LoggedRun run, bool latest,
                          CopyReading* reading) {
  ChangeView view;
  view.agentName = agentName;
  view.agentFolder = agentFolder;
  view.latest = latest;
  view.pages.reserve(run.pages.size());
  for (LoggedPage& logged : run.pages) {
    PageChange page;
    page.page = std::move(logged);
    if (page.page.kind == ChangeKind::modified) {
      if (latest)
        Compare(page, agentFolder, reading);
      else
        page.difference = Difference::olderRun;
    }
    view.pages.push_back(std::move(page));
  }
  run.pages.clear();
  view.run = std::move(run);
  return view;
}

}  // namespace harvion
