#include "platform/files/temp_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/files/file_system.h"
#include "platform/framework/exceptions.h"

namespace hv::fs {

namespace {

[[noreturn]] void ThrowCreateError(const std::string& path) {
  const int error = errno;
  throw CFileException(path, error, "cannot create a temporary file " + path + ": " + std::strerror(error));
}

std::uint32_t NextSuffix() {
  static std::atomic<std::uint32_t> next{std::random_device{}()};
  return next.fetch_add(1, std::memory_order_relaxed);
}

// The old copies that replacements displace, kept to be written over by the
// next replacement in the same folder instead of being deleted. Making a file
// costs ext4 a walk past every inode freed in the last half minute, so a run
// that rewrites thousands of pages would pay for each deletion again at each
// creation. One spare per folder; what is left goes when the process ends.
class SpareFiles {
 public:
  ~SpareFiles() { Release(); }

  // The spare of the folder, handed over (empty when there is none).
  std::string Take(const std::string& folder) {
    std::lock_guard guard(m_lock);
    const auto found = m_spares.find(folder);
    if (found == m_spares.end()) return {};
    std::string path = std::move(found->second);
    m_spares.erase(found);
    return path;
  }

  void Keep(const std::string& folder, const std::string& path) {
    std::lock_guard guard(m_lock);
    auto [at, added] = m_spares.try_emplace(folder, path);
    if (!added) ::unlink(path.c_str());
  }

  void Release() {
    std::lock_guard guard(m_lock);
    for (const auto& [folder, path] : m_spares) ::unlink(path.c_str());
    m_spares.clear();
  }

 private:
  std::mutex m_lock;
  std::unordered_map<std::string, std::string> m_spares;
};

SpareFiles& Spares() {
  static SpareFiles spares;
  return spares;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Opens the folder's spare under the new name, given the mode wanted; -1
// when there is none or it cannot be used (then a new file is made).
int ReuseSpare(const std::string& folder, const std::string& name, mode_t mode) {
  const std::string spare = Spares().Take(folder);
  if (spare.empty()) return -1;
  if (::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) != 0) {
    ::unlink(spare.c_str());
    return -1;
  }
  const int fd = ::open(name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
      ((st.st_mode & 07777) == mode || ::fchmod(fd, mode) == 0))
    return fd;
  if (fd >= 0) ::close(fd);
  ::unlink(name.c_str());
  return -1;
}

}  // namespace

void ReleaseSpareFiles() { Spares().Release(); }

CTemporaryFile::CTemporaryFile(int fd, std::string path, std::string replacing)
    : m_strReplacing(std::move(replacing)) {
  m_fd = fd;
  m_strFileName = std::move(path);
}

CTemporaryFile::~CTemporaryFile() {
  if (m_strReplacing.empty()) return;
  Close();
  ::unlink(m_strFileName.c_str());
}

void CTemporaryFile::Seek(std::uint64_t position) {
  if (position > static_cast<std::uint64_t>(INT64_MAX) ||
      ::lseek(m_fd, static_cast<off_t>(position), SEEK_SET) < 0)
    ThrowError("cannot seek in");
}

bool CTemporaryFile::SameAsReplaced() const {
  if (m_strReplacing.empty() || m_fd < 0) return false;
  const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
  const int old = ::open(m_strReplacing.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  bool same = end >= 0 && old >= 0 && ::fstat(old, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == end;
  char ours[16 * 1024];
  char theirs[sizeof ours];
  for (off_t at = 0; same && at < end;) {
    const auto want = static_cast<std::size_t>(std::min<off_t>(sizeof ours, end - at));
    const ssize_t n = ::pread(m_fd, ours, want, at);
    same = n > 0 && ::pread(old, theirs, static_cast<std::size_t>(n), at) == n &&
           std::memcmp(ours, theirs, static_cast<std::size_t>(n)) == 0;
    at += n > 0 ? n : 0;
  }
  if (old >= 0) ::close(old);
  return same;
}

void CTemporaryFile::Commit() {
  if (m_strReplacing.empty()) {
    errno = EINVAL;
    ThrowError("cannot commit");
  }
  // A reused file may hold more than was written to it this time.
  if (m_bReused) {
    const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
    if (end < 0 || ::ftruncate(m_fd, end) != 0) ThrowError("cannot end");
  }
  Close();
  // Swapped with the old file rather than renamed over it: ext4 writes a
  // file renamed over another out at once, and the page's next replacement
  // then waits on the disk to free those blocks.
  const bool swapped =
      ::renameat2(AT_FDCWD, m_strFileName.c_str(), AT_FDCWD, m_strReplacing.c_str(), RENAME_EXCHANGE) == 0;
  if (!swapped && ::rename(m_strFileName.c_str(), m_strReplacing.c_str()) != 0) {
    const int error = errno;
    ::unlink(m_strFileName.c_str());
    m_strReplacing.clear();
    errno = error;
    ThrowError("cannot rename");
  }
  if (swapped) Spares().Keep(FolderOf(m_strReplacing), m_strFileName);  // now the old file
  m_strReplacing.clear();
}

std::unique_ptr<CTemporaryFile> CreateTemporaryFile(const std::string& prefix) {
  std::string path = JoinPath(TempDirectory(), prefix + "XXXXXX");
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) ThrowCreateError(path);
  ::unlink(path.c_str());
  try {
    return std::make_unique<CTemporaryFile>(fd, path);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

bool TemporaryFolderWritable() { return ::access(TempDirectory().c_str(), W_OK | X_OK) == 0; }

std::unique_ptr<CTemporaryFile> CreateReplacement(const std::string& path) {
  // Made with the old file's mode rather than changed to it afterwards:
  // what we created before comes out the same, one call fewer.
  struct stat st {};
  const bool existing = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  const mode_t mode = existing ? (st.st_mode & 07777) : 0666;
  for (int tries = 0;; ++tries) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(NextSuffix()));
    std::string name = path + suffix;
    // Only a copy that replaces another takes a spare: it gives the spare
    // its mode, and a first copy displaces nothing that would need one.
    int fd = existing ? ReuseSpare(FolderOf(path), name, mode) : -1;
    const bool reused = fd >= 0;
    if (!reused) fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST && tries < 100) continue;
      ThrowCreateError(name);
    }
    try {
      auto file = std::make_unique<CTemporaryFile>(fd, name, path);
      file->m_nReplacedSize = existing ? static_cast<std::int64_t>(st.st_size) : -1;
      file->m_bReused = reused;
      return file;
    } catch (...) {
      ::close(fd);
      ::unlink(name.c_str());
      throw;
    }
  }
}

}  // namespace hv::fs
