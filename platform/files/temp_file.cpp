#include "platform/files/temp_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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

}  // namespace

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

void CTemporaryFile::Commit() {
  if (m_strReplacing.empty()) {
    errno = EINVAL;
    ThrowError("cannot commit");
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
  if (swapped) ::unlink(m_strFileName.c_str());  // now the old file
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
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST && tries < 100) continue;
      ThrowCreateError(name);
    }
    try {
      auto file = std::make_unique<CTemporaryFile>(fd, name, path);
      file->m_nReplacedSize = existing ? static_cast<std::int64_t>(st.st_size) : -1;
      return file;
    } catch (...) {
      ::close(fd);
      ::unlink(name.c_str());
      throw;
    }
  }
}

}  // namespace hv::fs
