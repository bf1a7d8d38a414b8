// File-system helpers over POSIX calls.
#include "platform/files/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/files/file.h"
#include "platform/framework/exceptions.h"

namespace hv::fs {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Removes `name` inside the open folder `parent`. Entries are looked at
// without following links, and folders are opened with O_NOFOLLOW, so a link
// that points out of the tree is unlinked, never descended into.
bool RemoveAt(int parent, const char* name) {
  struct stat st {};
  if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(parent, name, 0) == 0 || errno == ENOENT;

  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DirHandle dir(::fdopendir(fd));
  if (!dir) {
    ::close(fd);
    return false;
  }
  // Names first, then removal: readdir over a folder that changes under it
  // may skip entries.
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  }
  bool ok = true;
  for (const auto& child : names) ok = RemoveAt(::dirfd(dir.get()), child.c_str()) && ok;
  dir.reset();
  return (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT) && ok;
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Best effort: makes a rename inside the folder survive a crash.
void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The open temporary file of ReplaceFile, handed to the writer as a CFile.
class TemporaryFile : public CFile {
 public:
  TemporaryFile(int fd, std::string path) {
    m_fd = fd;
    m_strFileName = std::move(path);
  }
};

[[noreturn]] void ThrowFileError(const std::string& path, const char* what) {
  const int error = errno;
  throw CFileException(path, error, std::string(what) + " " + path + ": " + std::strerror(error));
}

unsigned NextTempSeed() {
  static std::atomic<unsigned> next{std::random_device{}()};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  const bool dirSlash = dir.back() == '/';
  const bool nameSlash = !name.empty() && name.front() == '/';
  if (dirSlash && nameSlash) return dir + name.substr(1);
  if (dirSlash || nameSlash) return dir + name;
  return dir + '/' + name;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

void MeasureFolder(const std::string& path, std::int64_t& count, std::int64_t& bytes) {
  count = 0;
  bytes = 0;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    ++count;
    struct stat st {};
    if (::lstat(JoinPath(path, entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) bytes += st.st_size;
  }
  ::closedir(dir);
}

std::int64_t RegularFileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool EnsureDirectory(const std::string& path) {
  if (path.empty()) return false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

bool RemoveTree(const std::string& path) {
  std::string target = path;
  // "link/" would make the kernel follow the link; the link itself is meant.
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  if (target.empty() || target == "/") return false;
  return RemoveAt(AT_FDCWD, target.c_str());
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool RenamePath(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string GetTempFileName(const std::string& dir, const std::string& prefix) {
  const std::string head = prefix.substr(0, 3);
  // 65535 names: one per value 1..FFFF, starting somewhere new on each call
  // so that callers rarely walk over each other's files.
  constexpr unsigned kValues = 0xFFFF;
  const unsigned start = NextTempSeed() % kValues;
  for (unsigned i = 0; i < kValues; ++i) {
    const unsigned value = (start + i) % kValues + 1;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%X", value);
    const std::string path = JoinPath(dir, head + digits + ".TMP");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

std::string TempDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env && *env ? env : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool ReplaceWithPrivateFile(const std::string& path, std::string_view text) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string temp = JoinPath(dir, "." + path.substr(slash + 1) + ".XXXXXX");
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // The mode of the new file, whatever the umask or the old file's mode.
  bool ok = ::fchmod(fd, 0600) == 0;
  while (ok && !text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) text.remove_prefix(static_cast<std::size_t>(n));
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Makes the rename itself durable; the data is already safe either way.
  if (const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

void ReplaceFile(const std::string& path, const std::function<void(CFile&)>& writer) {
  // Through a symbolic link the file it names is replaced, and the link kept.
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) target = resolved;
  }
  const bool existed = ::stat(target.c_str(), &st) == 0;
  const mode_t mode = existed ? (st.st_mode & 07777) : 0644;

  const std::string dir = ParentOf(target);
  std::string temp = JoinPath(dir, "." + NameOf(target) + ".XXXXXX");
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) ThrowFileError(path, "cannot create a temporary file for");

  TemporaryFile file(fd, temp);
  try {
    if (::fchmod(fd, mode) != 0) ThrowFileError(temp, "cannot set the mode of");
    writer(file);
    file.Flush();
    file.Close();
    if (::rename(temp.c_str(), target.c_str()) != 0) ThrowFileError(path, "cannot replace");
  } catch (...) {
    file.Close();
    ::unlink(temp.c_str());
    throw;
  }
  SyncDirectory(dir);
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
  CFile file(path, CFile::modeWrite | CFile::modeCreate);
  file.Write(data, size);
  file.Close();
}

bool ReadAtMost(int fd, std::size_t limit, std::string& text) {
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > limit) return false;
  }
}

}  // namespace hv::fs
