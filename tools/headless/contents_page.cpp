#include "contents_page.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "display_text.h"
#include "html_escape.h"

namespace harvion {

const char* const kContentsPageName = "contents.html";

namespace {

constexpr std::size_t kNameLimit = 300;      // a title or a name, in bytes
constexpr std::size_t kAddressLimit = 2000;  // an address shown or linked
constexpr std::size_t kReasonLimit = 200;
// Lists nest no deeper: a browser flattens very deep trees by itself, and
// badly. Deeper items are listed beside the last item that may still nest.
constexpr std::size_t kNestingLimit = 64;
constexpr std::size_t kBufferSize = 1 << 16;

enum PageState { kNotStored = 0, kInterrupted = 2, kStored = 3 };

constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<style>\n"
    "body{font:15px/1.45 system-ui,sans-serif;margin:1.5em 2em;color:#222;background:#fff}\n"
    "h1{font-size:1.4em;margin:0 0 .2em}\n"
    "p.run{margin:.2em 0 1em;color:#555}\n"
    "ul{list-style:none;margin:0;padding-left:1.4em;border-left:1px dotted #bbb}\n"
    "ul.tree{padding-left:0;border:0}\n"
    "li{margin:.15em 0}\n"
    "li::before{display:inline-block;width:1.3em;color:#777}\n"
    "li.agent::before{content:\"\\25C6\"}\n"
    "li.folder::before{content:\"\\25B8\"}\n"
    "li.search::before{content:\"\\2315\"}\n"
    "li.location::before{content:\"\\25CF\"}\n"
    "li.page::before{content:\"\\2013\"}\n"
    ".kind{color:#777;font-size:.85em}\n"
    "li.location>a.title,li.location>span.title,li.folder>b,li.search>b{font-weight:bold}\n"
    ".mark{font-size:.8em;padding:0 .4em;border-radius:.6em;margin-left:.4em;white-space:nowrap}\n"
    ".new{background:#d7f5d7;color:#0b5d0b}\n"
    ".modified{background:#fde9b8;color:#6b4a00}\n"
    ".gone{background:#eee;color:#555;text-decoration:line-through}\n"
    ".failed{background:#f9d4d4;color:#8a1010}\n"
    ".interrupted{background:#f9d4d4;color:#8a1010}\n"
    ".not-retrieved{background:#eee;color:#666}\n"
    ".date,.address,.why{color:#666;font-size:.85em;margin-left:.5em}\n"
    ".address{word-break:break-all}\n"
    "</style>\n";

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The text cut to at most limit bytes on a character's boundary.
std::string_view CutAt(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  for (int back = 0; back < 3 && end > 0 && IsContinuation(text[end]); ++back) --end;
  return text.substr(0, end);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// Local time to the minute; empty for never.
std::string Date(std::uint32_t seconds) {
  if (seconds == 0) return {};
  const auto time = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&time, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
  return text;
}

// The stored file's name, when it is a plain name in the agent folder.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos && name.size() < 256;
}

const char* KindClass(ContentsKind kind) {
  switch (kind) {
    case ContentsKind::agent: return "agent";
    case ContentsKind::folder: return "folder";
    case ContentsKind::searchFolder: return "search";
    case ContentsKind::location: return "location";
    case ContentsKind::page: break;
  }
  return "page";
}

}  // namespace

std::string HtmlText(std::string_view text, std::size_t limit) {
  // Cut before converting: a title of megabytes is not converted whole.
  const std::string printable = Printable(CutAt(text, limit));
  const std::string_view shown = CutAt(printable, limit);
  std::string out;
  out.reserve(shown.size() + 16);
  AppendEscapedHtml(out, shown);
  if (shown.size() < printable.size() || text.size() > limit) out += "\xE2\x80\xA6";  // an ellipsis
  return out;
}

std::string WebHref(std::string_view address) {
  if (address.size() > kAddressLimit) return {};
  if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://")) return {};
  std::string encoded;
  encoded.reserve(address.size());
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '`' || c == '\\') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      encoded += hex;
    } else {
      encoded.push_back(c);
    }
  }
  std::string out;
  AppendEscapedHtml(out, encoded);
  return out;
}

// ---- the index -----------------------------------------------------------------------------------

ContentsIndex ContentsIndex::OfOpenAgent() {
  ContentsIndex index;
  VisitCacheRecords([&index](const HvCacheRecord& record) { index.Add(record); }, false);
  return index;
}

ContentsIndex ContentsIndex::Of(const std::vector<HvCacheRecord>& records) {
  ContentsIndex index;
  for (const HvCacheRecord& record : records) index.Add(record);
  return index;
}

void ContentsIndex::Add(const HvCacheRecord& record) {
  HvCacheRecord& kept = m_records[record.address];
  kept = record;
  kept.links.clear();
}

const HvCacheRecord* ContentsIndex::Find(const std::string& address) const {
  const auto found = m_records.find(address);
  return found == m_records.end() ? nullptr : &found->second;
}

// ---- the page ------------------------------------------------------------------------------------

ContentsPage::ContentsPage(std::string folder, ContentsIndex index, const ChangeReport* lastRun)
    : m_folder(std::move(folder)), m_index(std::move(index)), m_lastRun(lastRun) {
  if (!lastRun) return;
  AddMarks(lastRun->added, "new", false);
  AddMarks(lastRun->modified, "modified", false);
  AddMarks(lastRun->gone, "gone", true);
  AddMarks(lastRun->failed, "failed", true);
}

ContentsPage::~ContentsPage() {
  if (!m_file) return;
  std::fclose(m_file);
  ::unlink(m_partPath.c_str());
}

void ContentsPage::AddMarks(const std::vector<ChangedPage>& pages, const char* label, bool withReason) {
  for (const ChangedPage& page : pages)
    m_marks[page.address] = {label, withReason ? LoadOutcome(page.statusCode, page.statusText, page.state,
                                                             m_lastRun->stopped)
                                               : std::string()};
}

bool ContentsPage::Begin(std::string_view agentName) {
  m_partPath = m_folder + "/." + kContentsPageName + ".part";
  // Never through a link someone left in the folder.
  const int fd = ::open(m_partPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 || !(m_file = ::fdopen(fd, "w"))) {
    m_error = std::string("cannot write ") + m_partPath + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  m_buffer = std::make_unique<char[]>(kBufferSize);
  std::setvbuf(m_file, m_buffer.get(), _IOFBF, kBufferSize);
  const std::string name = HtmlText(agentName, kNameLimit);
  Write(kHead);
  Write("<title>" + name + " \xE2\x80\x94 contents</title>\n</head>\n<body>\n<h1>" + name + "</h1>\n<p class=\"run\">");
  if (m_lastRun) Write("Last run: " + HtmlText(ChangeTotals(*m_lastRun), kNameLimit) + ". ");
  struct stat info{};
  if (::stat((m_folder + "/changes.html").c_str(), &info) == 0 && S_ISREG(info.st_mode))
    Write("<a href=\"changes.html\">What changed</a>. ");
  Write("Written " + Date(static_cast<std::uint32_t>(std::time(nullptr))) + ".</p>\n<ul class=\"tree\">\n");
  return !m_failed;
}

void ContentsPage::Write(std::string_view text) {
  if (m_file && !m_failed && std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) m_failed = true;
}

void ContentsPage::Enter(const ContentsItem& item) {
  if (!m_levels.empty()) {
    Level& parent = m_levels.back();
    if (m_levels.size() < kNestingLimit) {
      if (!parent.listOpen) Write("\n<ul>\n");
      parent.listOpen = true;
    } else if (!parent.closed) {
      Write("</li>\n");
      parent.closed = true;
    }
  }
  m_levels.push_back({});
  WriteItem(item);
}

void ContentsPage::Leave() {
  if (m_levels.empty()) return;
  const Level level = m_levels.back();
  m_levels.pop_back();
  if (level.listOpen) Write("</ul>\n");
  if (!level.closed) Write("</li>\n");
}

void ContentsPage::WriteItem(const ContentsItem& item) {
  Write("<li class=\"");
  Write(KindClass(item.kind));
  Write("\">");
  switch (item.kind) {
    case ContentsKind::agent:
    case ContentsKind::folder:
    case ContentsKind::searchFolder:
      Write("<b>" + HtmlText(item.name, kNameLimit) + "</b>");
      if (item.kind == ContentsKind::searchFolder) Write(" <span class=\"kind\">search</span>");
      break;
    case ContentsKind::location:
    case ContentsKind::page:
      WritePage(item, item.kind == ContentsKind::location);
      break;
  }
}

std::string ContentsPage::CopyLink(const HvCacheRecord& record) const {
  if ((record.state != kStored && record.state != kInterrupted) || !IsPlainFileName(record.localFile)) return {};
  // Only a link that opens something.
  struct stat info{};
  if (::stat((m_folder + "/" + record.localFile).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  std::string link = "./";
  for (const char c : record.localFile) {
    const auto byte = static_cast<unsigned char>(c);
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum || c == '.' || c == '-' || c == '_' || c == '~') {
      link.push_back(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      link += hex;
    }
  }
  return link;
}

void ContentsPage::WritePage(const ContentsItem& item, bool location) {
  const HvCacheRecord* record = m_index.Find(item.address);
  // A location is called as its user named it; a page found by its title.
  std::string_view title = item.name;
  if (!location && record && !record->title.empty()) title = record->title;
  if (title.empty()) title = item.address;
  const std::string text = HtmlText(title, kNameLimit);
  const std::string copy = record ? CopyLink(*record) : std::string();
  const std::string web = WebHref(item.address);
  const std::string& href = copy.empty() ? web : copy;
  if (href.empty())
    Write("<span class=\"title\">" + text + "</span>");
  else
    Write("<a class=\"title\" href=\"" + href + "\">" + text + "</a>");

  // The run's mark first; without one, what the index says of the page.
  const auto mark = m_marks.find(item.address);
  if (mark != m_marks.end()) {
    Write(std::string(" <span class=\"mark ") + mark->second.label + "\">" + mark->second.label + "</span>");
    if (!mark->second.reason.empty())
      Write(" <span class=\"why\">" + HtmlText(mark->second.reason, kReasonLimit) + "</span>");
  } else if (!record || record->lastRetrievalEnd == 0) {
    Write(" <span class=\"mark not-retrieved\">not retrieved</span>");
  } else if (record->state == kInterrupted) {
    Write(" <span class=\"mark interrupted\">interrupted</span>");
  } else if (record->statusCode >= 400 || record->statusCode == 0) {
    Write(" <span class=\"mark failed\">failed</span> <span class=\"why\">" +
          HtmlText(LoadOutcome(record->statusCode, record->statusText, record->state, false), kReasonLimit) +
          "</span>");
  }
  if (record) {
    const bool stored = !copy.empty();
    const std::string date = Date(stored ? record->storedAt : record->lastRetrievalEnd);
    if (!date.empty())
      Write(std::string(" <span class=\"date\">") + (stored ? "stored " : "checked ") + date + "</span>");
  }
  // The address beside a stored copy's link, itself a link to the original.
  if (!copy.empty() && !web.empty())
    Write(" <a class=\"address\" href=\"" + web + "\">" + HtmlText(item.address, kAddressLimit) + "</a>");
  else if (web.empty() && title != item.address)
    Write(" <span class=\"address\">" + HtmlText(item.address, kAddressLimit) + "</span>");
}

bool ContentsPage::Finish() {
  if (!m_file) return false;
  while (!m_levels.empty()) Leave();
  Write("</ul>\n</body>\n</html>\n");
  const bool flushed = std::fflush(m_file) == 0 && !std::ferror(m_file);
  const int saved = errno;
  const bool closed = std::fclose(m_file) == 0;
  m_file = nullptr;
  if (m_failed || !flushed || !closed) {
    m_error = std::string("cannot write ") + m_partPath + ": " + std::strerror(saved ? saved : EIO);
    ::unlink(m_partPath.c_str());
    return false;
  }
  if (::rename(m_partPath.c_str(), Path().c_str()) != 0) {
    m_error = std::string("cannot replace ") + Path() + ": " + std::strerror(errno);
    ::unlink(m_partPath.c_str());
    return false;
  }
  return true;
}

}  // namespace harvion
