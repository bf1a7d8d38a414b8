#include "platform/net/open_sockets.h"

#include <sys/socket.h>

namespace hv::net {

OpenSockets::Slot* OpenSockets::SlotLocked(int slot) {
  if (slot < 0) return nullptr;
  const auto index = static_cast<std::size_t>(slot);
  if (index >= m_slots.size()) m_slots.resize(index + 1);
  return &m_slots[index];
}

void OpenSockets::Reset() {
  std::lock_guard lock(m_mutex);
  m_slots.clear();
}

bool OpenSockets::Enter(int slot, int fd) {
  std::lock_guard lock(m_mutex);
  Slot* entry = SlotLocked(slot);
  if (!entry) return true;
  if (entry->cutOff) {
    shutdown(fd, SHUT_RDWR);
    return false;
  }
  entry->fd = fd;
  return true;
}

void OpenSockets::Leave(int slot, int fd) {
  std::lock_guard lock(m_mutex);
  Slot* entry = SlotLocked(slot);
  if (entry && entry->fd == fd) entry->fd = -1;
}

void OpenSockets::CutOff(int slot) {
  std::lock_guard lock(m_mutex);
  Slot* entry = SlotLocked(slot);
  if (!entry) return;
  entry->cutOff = true;
  if (entry->fd >= 0) shutdown(entry->fd, SHUT_RDWR);
}

bool OpenSockets::IsCutOff(int slot) {
  std::lock_guard lock(m_mutex);
  const Slot* entry = SlotLocked(slot);
  return entry && entry->cutOff;
}

}  // namespace hv::net
