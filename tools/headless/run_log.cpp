#include "run_log.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>

namespace harvion {

namespace {

const std::string kIndexName = "Harvion Cache.hvc";
const std::string kHeader = "harvion run log 1";
constexpr const char* kKindNames[] = {"new", "modified", "gone", "failed"};
// Field limits: far beyond a real page's, they keep a hostile one's line short.
constexpr std::size_t kMaxAddress = 8192;
constexpr std::size_t kMaxTitle = 512;
constexpr std::size_t kMaxName = 512;
constexpr std::size_t kMaxLine = 64u << 10;

std::string Escaped(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// False for a '%' without two hex digits after it.
bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t end; (end = line.find('\t', start)) != std::string_view::npos; start = end + 1)
    fields.push_back(line.substr(start, end - start));
  fields.push_back(line.substr(start));
  return fields;
}

template <class Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Cut at a character's start, so that a UTF-8 text stays UTF-8.
void Trim(std::string& text, std::size_t limit) {
  if (text.size() <= limit) return;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
}

bool ParseRun(const std::vector<std::string_view>& f, LoggedRun& run) {
  if (f.size() != 9 || (f[4] != "completed" && f[4] != "stopped")) return false;
  run.completed = f[4] == "completed";
  if (!ParseNumber(f[1], run.number) || !ParseNumber(f[2], run.start) || !ParseNumber(f[3], run.end)) return false;
  for (int k = 0; k < 4; ++k)
    if (!ParseNumber(f[5 + k], run.counts[k])) return false;
  return true;
}

bool ParsePage(const std::vector<std::string_view>& f, LoggedPage& page) {
  if (f.size() != 7) return false;
  const auto kind = std::find(std::begin(kKindNames), std::end(kKindNames), f[1]);
  if (kind == std::end(kKindNames)) return false;
  page.kind = static_cast<ChangeKind>(kind - std::begin(kKindNames));
  return Unescape(f[2], page.address) && !page.address.empty() && Unescape(f[3], page.title) &&
         Unescape(f[4], page.file) && Unescape(f[5], page.previous) && Unescape(f[6], page.reason);
}

void TrimPage(LoggedPage& page) {
  Trim(page.address, kMaxAddress);
  Trim(page.title, kMaxTitle);
  Trim(page.file, kMaxName);
  Trim(page.previous, kMaxName);
  Trim(page.reason, kMaxTitle);
}

// A gone page's record lost its title with its copy; the run that found
// the page may still be in the log.
void RememberTitles(const std::vector<LoggedRun>& runs, LoggedRun& run) {
  std::map<std::string_view, std::string*> untitled;
  for (LoggedPage& page : run.pages)
    if (page.kind == ChangeKind::gone && page.title.empty()) untitled.emplace(page.address, &page.title);
  for (auto earlier = runs.rbegin(); earlier != runs.rend() && !untitled.empty(); ++earlier) {
    for (const LoggedPage& page : earlier->pages) {
      if (page.title.empty()) continue;
      const auto found = untitled.find(page.address);
      if (found == untitled.end()) continue;
      *found->second = page.title;
      untitled.erase(found);
    }
  }
}

}  // namespace

const char* ChangeKindName(ChangeKind kind) { return kKindNames[static_cast<int>(kind)]; }

std::string RunLog::FileName() { return kIndexName + ".runs"; }

std::vector<LoggedRun> RunLog::Parse(const std::string& text) {
  std::vector<LoggedRun> runs;
  std::string_view rest = text;
  bool first = true;
  LoggedRun* current = nullptr;  // the run the page lines belong to
  while (!rest.empty()) {
    const std::size_t newline = rest.find('\n');
    const std::string_view line = rest.substr(0, newline);
    rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
    if (first) {
      if (line != kHeader) return {};
      first = false;
      continue;
    }
    if (line.size() > kMaxLine) continue;
    const std::vector<std::string_view> fields = Split(line);
    if (fields[0] == "run") {
      LoggedRun run;
      // Pages after a run line that cannot be read belong to no run.
      current = nullptr;
      if (!ParseRun(fields, run)) continue;
      runs.push_back(std::move(run));
      current = &runs.back();
    } else if (fields[0] == "page" && current && current->pages.size() < kMaxPages) {
      LoggedPage page;
      if (!ParsePage(fields, page)) continue;
      TrimPage(page);
      current->pages.push_back(std::move(page));
    }
  }
  if (runs.size() > kMaxRuns) runs.erase(runs.begin(), runs.end() - kMaxRuns);
  return runs;
}

std::string RunLog::Text(const std::vector<LoggedRun>& runs) {
  std::string text = kHeader + '\n';
  for (const LoggedRun& run : runs) {
    text += "run\t" + std::to_string(run.number) + '\t' + std::to_string(run.start) + '\t' +
            std::to_string(run.end) + '\t' + (run.completed ? "completed" : "stopped");
    for (const std::size_t count : run.counts) text += '\t' + std::to_string(count);
    text += '\n';
    for (const LoggedPage& page : run.pages) {
      text += std::string("page\t") + ChangeKindName(page.kind) + '\t' + Escaped(page.address) + '\t' +
              Escaped(page.title) + '\t' + Escaped(page.file) + '\t' + Escaped(page.previous) + '\t' +
              Escaped(page.reason) + '\n';
    }
  }
  return text;
}

std::vector<LoggedRun> RunLog::Read(const std::string& folder) {
  std::ifstream in(folder + "/" + FileName(), std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > kMaxFile) return {};
  in.seekg(0);
  // One byte more than the size: a file that grew since is not read.
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > static_cast<std::size_t>(size)) return {};
  text.resize(got);
  return Parse(text);
}

bool RunLog::Append(const std::string& folder, LoggedRun& run, std::string& error) {
  std::vector<LoggedRun> runs = Read(folder);
  run.number = runs.empty() ? 1 : runs.back().number + 1;
  RememberTitles(runs, run);
  if (run.pages.size() > kMaxPages) run.pages.resize(kMaxPages);
  for (LoggedPage& page : run.pages) TrimPage(page);
  runs.push_back(run);
  if (runs.size() > kMaxRuns) runs.erase(runs.begin(), runs.end() - kMaxRuns);
  std::string text = Text(runs);
  // Older runs give way before the file grows past what is read back.
  while (text.size() > kMaxFile && runs.size() > 1) {
    runs.erase(runs.begin());
    text = Text(runs);
  }
  return ReplaceFile(folder + "/" + FileName(), text, error);
}

bool ReplaceFile(const std::string& path, const std::string& bytes, std::string& error) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  // Named as the index's temporaries begin, so that one left by a crash
  // still counts among the engine's files.
  std::string temporary = folder + "/" + kIndexName + ".write.XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  ::fchmod(fd, 0644);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const int writeErrno = written == bytes.size() ? 0 : (errno ? errno : ENOSPC);
  const bool closed = ::close(fd) == 0;
  if (writeErrno != 0 || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = std::strerror(writeErrno ? writeErrno : errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace harvion
