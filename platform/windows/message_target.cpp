// Window handles as entries in a table of message handlers. Handlers run
// without the table lock, so a handler may post, create or destroy targets;
// destroying a target waits for calls already running on other threads.
#include "harvion/message_target.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

struct Target {
  explicit Target(MessageHandler h) : handler(std::move(h)) {}

  const MessageHandler handler;  // never changed, so calls read it unlocked
  std::mutex mutex;
  std::condition_variable callEnded;
  bool alive = true;
  // One entry per running call; a handler that destroys its own target must
  // not wait for itself.
  std::vector<std::thread::id> callers;

  // Called with mutex held.
  bool OnlyCallsFrom(std::thread::id self) const {
    return std::all_of(callers.begin(), callers.end(), [&](std::thread::id id) { return id == self; });
  }
};

class TargetTable {
 public:
  HWND Add(std::shared_ptr<Target> target) {
    std::lock_guard lock(m_mutex);
    const std::uintptr_t key = m_nextKey++;
    m_targets.emplace(key, std::move(target));
    return reinterpret_cast<HWND>(key);
  }

  std::shared_ptr<Target> Find(HWND window) {
    std::lock_guard lock(m_mutex);
    const auto it = m_targets.find(reinterpret_cast<std::uintptr_t>(window));
    return it == m_targets.end() ? nullptr : it->second;
  }

  std::shared_ptr<Target> Remove(HWND window) {
    std::lock_guard lock(m_mutex);
    auto node = m_targets.extract(reinterpret_cast<std::uintptr_t>(window));
    return node.empty() ? nullptr : std::move(node.mapped());
  }

 private:
  std::mutex m_mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Target>> m_targets;
  std::uintptr_t m_nextKey = 0x1000;
};

TargetTable& Table() {
  static TargetTable table;
  return table;
}

// Registers the running call on entry and removes it on exit, also when the
// handler throws.
class CallRecord {
 public:
  CallRecord(Target& target, std::thread::id self) : m_target(target), m_self(self) {
    m_target.callers.push_back(m_self);
  }
  CallRecord(const CallRecord&) = delete;
  CallRecord& operator=(const CallRecord&) = delete;
  ~CallRecord() {
    std::lock_guard lock(m_target.mutex);
    const auto it = std::find(m_target.callers.begin(), m_target.callers.end(), m_self);
    if (it != m_target.callers.end()) m_target.callers.erase(it);
    m_target.callEnded.notify_all();
  }

 private:
  Target& m_target;
  std::thread::id m_self;
};

}  // namespace

HWND CreateMessageTarget(MessageHandler handler) {
  if (!handler) return nullptr;
  try {
    return Table().Add(std::make_shared<Target>(std::move(handler)));
  } catch (const std::exception&) {
    return nullptr;
  }
}

void DestroyMessageTarget(HWND window) {
  const auto target = Table().Remove(window);
  if (!target) return;
  const auto self = std::this_thread::get_id();
  std::unique_lock lock(target->mutex);
  target->alive = false;
  target->callEnded.wait(lock, [&] { return target->OnlyCallsFrom(self); });
}

BOOL IsWindow(HWND window) {
  return Table().Find(window) != nullptr;
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    const auto target = Table().Find(window);
    if (!target) return 0;
    std::unique_lock lock(target->mutex);
    if (!target->alive) return 0;
    CallRecord record(*target, std::this_thread::get_id());
    lock.unlock();
    target->handler(message, wParam, lParam);
    return 1;
  } catch (...) {
    // A handler that throws did not take the message; nothing crosses the
    // engine's interface.
    return 0;
  }
}
