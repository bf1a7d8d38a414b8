#include "harvion/shared_memory_block.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/windows/process_identity.h"

namespace {

// After the text: who serves the block. Readers of the text never look here.
struct Owner {
  std::uint32_t mark;
  std::uint32_t process;
  std::uint64_t startTime;
  std::uint32_t serving;  // 1: the owner; 0: a process that only made it
  std::uint32_t reserved;
};
constexpr std::uint32_t kMark = 0x42535648;  // "HVSB"
constexpr std::size_t kObjectSize = SharedMemoryBlock::kSize + sizeof(Owner);

Owner Self(bool serving) {
  return {kMark, std::uint32_t(::getpid()), hv::win::ProcessStartTime(::getpid()), serving ? 1u : 0u, 0};
}

bool RecordedAlive(const Owner& owner) {
  return owner.mark == kMark && hv::win::ProcessAlive(pid_t(owner.process), owner.startTime);
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

std::string SharedBlockName(const std::string& frameTitle) {
  // Longest name a shared-memory object may have after its "/".
  constexpr std::size_t kMaxName = 255;
  std::string name = "/harvion." + std::to_string(::geteuid()) + ".";
  for (char c : frameTitle) {
    if (name.size() > kMaxName) break;
    name += IsNameCharacter(c) ? c : '_';
  }
  return name;
}

SharedMemoryBlock::SharedMemoryBlock(const std::string& name, bool owner) : m_name(name) {
  // A block whose owner died is removed, and the second try makes it afresh.
  if (!Open(owner)) Open(owner);
}

// False only when a stale block was removed and another try is due.
bool SharedMemoryBlock::Open(bool owner) {
  int fd = shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  m_created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = shm_open(m_name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  struct stat info {};
  // Another user may have put an object under our name first: it is neither
  // read nor written.
  bool usable = fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
  // Growing fills with zeros and keeps what an existing block held.
  if (usable && info.st_size < off_t(kObjectSize)) usable = ftruncate(fd, off_t(kObjectSize)) == 0;
  void* view = usable ? mmap(nullptr, kObjectSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  close(fd);
  if (view == MAP_FAILED) {
    if (m_created) shm_unlink(m_name.c_str());
    m_created = false;
    return true;
  }
  m_view = static_cast<unsigned char*>(view);
  Owner recorded;
  std::memcpy(&recorded, m_view + kSize, sizeof recorded);
  const bool alive = RecordedAlive(recorded);
  if (!m_created && !alive && recorded.mark == kMark && recorded.serving) {
    // Left by an owner that died: its text was meant for it alone.
    munmap(m_view, kObjectSize);
    m_view = nullptr;
    shm_unlink(m_name.c_str());
    return false;
  }
  // A block made by a component that has ended keeps its text for the owner.
  if (m_created || (owner && !(alive && recorded.serving))) {
    const Owner self = Self(owner);
    std::memcpy(m_view + kSize, &self, sizeof self);
  }
  return true;
}

SharedMemoryBlock::~SharedMemoryBlock() {
  if (m_view) munmap(m_view, kObjectSize);
}

std::string SharedMemoryBlock::ReadText() const {
  if (!m_view) return {};
  // Another writer may have left no zero: the last byte belongs to it.
  const void* zero = std::memchr(m_view, 0, kSize - 1);
  const std::size_t length = zero ? std::size_t(static_cast<const unsigned char*>(zero) - m_view) : kSize - 1;
  return std::string(reinterpret_cast<const char*>(m_view), length);
}

bool SharedMemoryBlock::WriteText(std::string_view text) {
  if (!m_view || text.size() >= kSize || text.find('\0') != std::string_view::npos) return false;
  std::memcpy(m_view, text.data(), text.size());
  m_view[text.size()] = '\0';
  return true;
}

void SharedMemoryBlock::Unlink() { shm_unlink(m_name.c_str()); }
