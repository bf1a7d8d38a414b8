#include "platform/files/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files/file_system.h"
#include "platform/framework/exceptions.h"

namespace hv::fs {

CTemporaryFile::CTemporaryFile(int fd, std::string path) {
  m_fd = fd;
  m_strFileName = std::move(path);
}

void CTemporaryFile::Seek(std::uint64_t position) {
  if (position > static_cast<std::uint64_t>(INT64_MAX) ||
      ::lseek(m_fd, static_cast<off_t>(position), SEEK_SET) < 0)
    ThrowError("cannot seek in");
}

std::unique_ptr<CTemporaryFile> CreateTemporaryFile(const std::string& prefix) {
  std::string path = JoinPath(TempDirectory(), prefix + "XXXXXX");
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw CFileException(path, error, "cannot create a temporary file " + path + ": " + std::strerror(error));
  }
  ::unlink(path.c_str());
  try {
    return std::make_unique<CTemporaryFile>(fd, path);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

}  // namespace hv::fs
