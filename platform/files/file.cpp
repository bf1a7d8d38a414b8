// CFile over a POSIX descriptor, and the in-memory CMemFile.
#include "platform/files/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/framework/exceptions.h"

namespace {

int AccessFlags(unsigned flags) {
  if (flags & CFile::modeReadWrite) return O_RDWR;
  if (flags & CFile::modeWrite) return O_WRONLY;
  return O_RDONLY;
}

// Which advisory lock the sharing mode asks for; 0 for none. Denying writes
// while writing ourselves means no other writer and no reader of a
// half-written file, so that takes the exclusive lock too.
int LockOperation(unsigned flags) {
  if (flags & CFile::shareExclusive) return LOCK_EX;
  if (flags & CFile::shareDenyWrite) return AccessFlags(flags) == O_RDONLY ? LOCK_SH : LOCK_EX;
  return 0;
}

}  // namespace

CFile::CFile(const std::string& path, unsigned flags) {
  if (!Open(path, flags)) {
    m_strFileName = path;
    ThrowError("cannot open");
  }
}

CFile::~CFile() {
  Close();
}

bool CFile::Open(const std::string& path, unsigned flags) {
  Close();
  const int access = AccessFlags(flags);
  int openFlags = access | O_CLOEXEC;
  if (flags & modeCreate) openFlags |= O_CREAT;
  const int fd = ::open(path.c_str(), openFlags, 0666);
  if (fd < 0) return false;

  const auto fail = [fd] {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail();
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return fail();
  }
  if (const int op = LockOperation(flags)) {
    int rc;
    do rc = ::flock(fd, op); while (rc != 0 && errno == EINTR);
    if (rc != 0) return fail();
  }
  // Truncated only once the lock is held, so a reader holding the shared lock
  // never sees the file emptied under it.
  if ((flags & modeCreate) && access != O_RDONLY && ::ftruncate(fd, 0) != 0) return fail();

  m_fd = fd;
  m_strFileName = path;
  return true;
}

std::size_t CFile::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(m_fd, out + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowError("cannot read");
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void CFile::Write(const void* buffer, std::size_t count) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(m_fd, in + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowError("cannot write");
    }
    if (n == 0) {
      // No progress and no error: only a full device does that.
      errno = ENOSPC;
      ThrowError("cannot write");
    }
    done += static_cast<std::size_t>(n);
  }
}

std::uint64_t CFile::GetLength() const {
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) ThrowError("cannot get the length of");
  return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t CFile::GetPosition() const {
  const off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
  if (pos < 0) ThrowError("cannot get the position in");
  return static_cast<std::uint64_t>(pos);
}

void CFile::Flush() {
  // EINVAL: a pipe or device that has nothing to flush.
  if (::fsync(m_fd) != 0 && errno != EINVAL) ThrowError("cannot flush");
}

void CFile::Close() {
  if (m_fd < 0) return;
  // Errors on close are not reported: data that matters was flushed already.
  ::close(m_fd);
  m_fd = -1;
}

void CFile::ThrowError(const char* what) const {
  const int error = errno;
  throw CFileException(m_strFileName, error,
                       std::string(what) + " " + m_strFileName + ": " + std::strerror(error));
}

std::size_t CMemFile::Read(void* buffer, std::size_t count) {
  const std::size_t available = m_pos < m_data.size() ? m_data.size() - m_pos : 0;
  const std::size_t n = count < available ? count : available;
  if (n > 0) std::memcpy(buffer, m_data.data() + m_pos, n);
  m_pos += n;
  return n;
}

void CMemFile::Write(const void* buffer, std::size_t count) {
  if (count == 0) return;
  if (count > m_data.max_size() - m_pos) throw CMemoryException();
  try {
    if (m_pos + count > m_data.size()) m_data.resize(m_pos + count);
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  } catch (const std::length_error&) {
    throw CMemoryException();
  }
  std::memcpy(m_data.data() + m_pos, buffer, count);
  m_pos += count;
}
