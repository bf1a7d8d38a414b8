#include "shell/shared_block.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hvui {

namespace {

// Longest name a shared-memory object may have after its "/".
constexpr std::size_t kMaxName = 255;

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

std::string SharedBlock::NameFor(const QString& frameTitle) {
  std::string name = "/";
  for (char c : frameTitle.toUtf8().toStdString()) {
    if (name.size() > kMaxName) break;
    name += IsNameCharacter(c) ? c : '_';
  }
  if (name.size() == 1) name += '_';
  return name;
}

SharedBlock::SharedBlock(const QString& frameTitle) : m_name(NameFor(frameTitle)) {
  int fd = shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    m_created = true;
  } else if (errno == EEXIST) {
    fd = shm_open(m_name.c_str(), O_RDWR | O_CLOEXEC, 0600);
  }
  if (fd < 0) return;
  // A new object is empty; growing it fills it with zeros and keeps what an
  // existing one held.
  struct stat info {};
  bool usable = fstat(fd, &info) == 0;
  if (usable && info.st_size < off_t(kSize)) usable = ftruncate(fd, off_t(kSize)) == 0;
  if (usable) {
    void* view = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view != MAP_FAILED) m_view = static_cast<char*>(view);
  }
  close(fd);
  if (!m_view && m_created) shm_unlink(m_name.c_str());
}

SharedBlock::~SharedBlock() {
  if (m_view) munmap(m_view, kSize);
}

std::string SharedBlock::ReadText() const {
  if (!m_view) return {};
  // Another writer may have left no zero: the last byte belongs to it.
  const void* zero = std::memchr(m_view, 0, kSize - 1);
  const std::size_t length = zero ? std::size_t(static_cast<const char*>(zero) - m_view) : kSize - 1;
  return std::string(m_view, length);
}

bool SharedBlock::WriteText(std::string_view text) {
  if (!m_view || text.size() >= kSize || text.find('\0') != std::string_view::npos) return false;
  std::memcpy(m_view, text.data(), text.size());
  m_view[text.size()] = '\0';
  return true;
}

void SharedBlock::Unlink() { shm_unlink(m_name.c_str()); }

}  // namespace hvui
