#include "scan_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>

namespace hvscan {

namespace {

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces whatever is at path (a file, or a link planted there) by a new
// private file holding text: a link is never followed, so nothing outside
// the folder is written.
void ReplaceWith(const std::string& path, const std::string& text) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return;
  const bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text);
  if (::close(fd) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0)
    ::unlink(temporary.c_str());
}

}  // namespace

std::string LogTime(long when) {
  const std::time_t t = when;
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local) == 0) return "?";
  return text;
}

ScanLog::ScanLog(std::string path, std::size_t limit) : m_path(std::move(path)), m_limit(limit) {}

void ScanLog::Write(const std::string& line) { Write(line, static_cast<long>(std::time(nullptr))); }

void ScanLog::Write(const std::string& line, long when) {
  const std::string text = LogTime(when) + "  " + line + "\n";
  if (m_echo) *m_echo << text << std::flush;
  DropOlderHalf(text.size());
  const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == ELOOP) ReplaceWith(m_path, text);  // a link in the log's place: the log starts afresh
    return;
  }
  WriteAll(fd, text);
  ::close(fd);
}

void ScanLog::DropOlderHalf(std::size_t incoming) {
  struct stat info {};
  if (::lstat(m_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  const auto size = static_cast<std::size_t>(info.st_size);
  if (size + incoming <= m_limit) return;
  // Keep the newer half, from the first whole line in it.
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return;
  const std::size_t keepFrom = size - std::min(size, m_limit / 2);
  in.seekg(static_cast<std::streamoff>(keepFrom));
  std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (keepFrom > 0) {
    const std::size_t lineEnd = rest.find('\n');
    rest.erase(0, lineEnd == std::string::npos ? rest.size() : lineEnd + 1);
  }
  // A new file then a rename: a crash leaves the old log or the new, never half of one.
  ReplaceWith(m_path, rest);
}

}  // namespace hvscan
