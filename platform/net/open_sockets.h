// The open sockets of running transfers, one slot per worker, so that a stop
// on another thread can shut them down and wake whatever call waits on them.
// A socket leaves its slot before it is closed, under the same lock, so a
// shutdown never reaches a number the system has given out again.
#pragma once

#include <mutex>
#include <vector>

namespace hv::net {

class OpenSockets {
 public:
  // Every slot empty and no longer cut off: for a new run.
  void Reset();
  // Puts the open socket fd into slot; false, with the socket shut down,
  // when the slot was cut off.
  bool Enter(int slot, int fd);
  // Takes fd out of its slot; called before it is closed.
  void Leave(int slot, int fd);
  // Shuts down the slot's socket, and every later one entered there until
  // the next Reset.
  void CutOff(int slot);
  bool IsCutOff(int slot);

 private:
  struct Slot {
    int fd = -1;
    bool cutOff = false;
  };
  Slot* SlotLocked(int slot);  // grows the table; null for a negative slot

  std::mutex m_mutex;
  std::vector<Slot> m_slots;
};

}  // namespace hv::net
