// Window handles as entries in a table of message handlers. Handlers run
// without the table lock, so a handler may post, create or destroy targets;
// destroying a target waits for calls already running on other threads.
#include "harvion/message_target.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "harvion/top_level_window.h"
#include "platform/windows/window_handle.h"
#include "platform/windows/window_link.h"

namespace {

struct Target {
  Target(MessageHandler h, SentMessageHandler s) : handler(std::move(h)), sent(std::move(s)) {}

  // Never changed, so calls read them unlocked.
  const MessageHandler handler;
  const SentMessageHandler sent;
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
    const HWND window = hv::win::MakeHandle(::getpid(), m_nextKey++);
    m_targets.emplace(hv::win::HandleValue(window), std::move(target));
    return window;
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
  std::uint32_t m_nextKey = 0x1000;
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

// Runs one call into a live target, also when the handler throws; false
// when the target is gone or the handler threw.
template <typename Call>
bool CallTarget(HWND window, Call&& call) {
  try {
    const auto target = Table().Find(window);
    if (!target) return false;
    std::unique_lock lock(target->mutex);
    if (!target->alive) return false;
    CallRecord record(*target, std::this_thread::get_id());
    lock.unlock();
    call(*target);
    return true;
  } catch (...) {
    // A handler that throws did not take the message; nothing crosses the
    // engine's interface.
    return false;
  }
}

// The answer to one sent message within this process. The reply function
// owns a Pending; when the last copy goes unanswered the waiter is told at
// once.
struct SendState {
  std::mutex mutex;
  std::condition_variable changed;
  bool answered = false;
  bool abandoned = false;
  LRESULT result = 0;
};

class Pending {
 public:
  explicit Pending(std::shared_ptr<SendState> state) : m_state(std::move(state)) {}
  Pending(const Pending&) = delete;
  Pending& operator=(const Pending&) = delete;
  ~Pending() {
    std::lock_guard lock(m_state->mutex);
    m_state->abandoned = true;
    m_state->changed.notify_all();
  }
  void Answer(LRESULT result) {
    std::lock_guard lock(m_state->mutex);
    if (m_state->answered) return;
    m_state->answered = true;
    m_state->result = result;
    m_state->changed.notify_all();
  }

 private:
  std::shared_ptr<SendState> m_state;
};

}  // namespace

namespace hv::win {

bool DeliverPosted(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallTarget(window, [&](Target& target) { target.handler(message, wParam, lParam); });
}

bool DeliverSent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ReplyFunction reply) {
  return CallTarget(window, [&](Target& target) {
    if (target.sent) {
      target.sent(message, wParam, lParam, std::move(reply));
    } else {
      target.handler(message, wParam, lParam);
      reply(0);
    }
  });
}

}  // namespace hv::win

HWND CreateMessageTarget(MessageHandler handler) { return CreateMessageTarget(std::move(handler), nullptr); }

HWND CreateMessageTarget(MessageHandler handler, SentMessageHandler sent) {
  if (!handler) return nullptr;
  try {
    return Table().Add(std::make_shared<Target>(std::move(handler), std::move(sent)));
  } catch (const std::exception&) {
    return nullptr;
  }
}

void DestroyMessageTarget(HWND window) {
  WithdrawWindow(window);
  const auto target = Table().Remove(window);
  if (!target) return;
  const auto self = std::this_thread::get_id();
  std::unique_lock lock(target->mutex);
  target->alive = false;
  target->callEnded.wait(lock, [&] { return target->OnlyCallsFrom(self); });
}

BOOL IsWindow(HWND window) {
  const pid_t process = hv::win::HandleProcess(window);
  if (process != 0 && process != ::getpid()) return hv::win::IsRemoteWindow(window);
  return Table().Find(window) != nullptr;
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const pid_t process = hv::win::HandleProcess(window);
  if (process != 0 && process != ::getpid()) return hv::win::PostRemote(window, message, wParam, lParam);
  return hv::win::DeliverPosted(window, message, wParam, lParam);
}

BOOL SendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, unsigned timeoutMs,
                        LRESULT* result) {
  LRESULT answer = 0;
  const pid_t process = hv::win::HandleProcess(window);
  BOOL done = 0;
  if (process != 0 && process != ::getpid()) {
    done = hv::win::SendRemote(window, message, wParam, lParam, timeoutMs, answer);
  } else {
    try {
      auto state = std::make_shared<SendState>();
      auto pending = std::make_shared<Pending>(state);
      const bool delivered = hv::win::DeliverSent(window, message, wParam, lParam,
                                                  [pending](LRESULT value) { pending->Answer(value); });
      pending.reset();  // only the target's copies keep it now
      if (delivered) {
        std::unique_lock lock(state->mutex);
        state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return state->answered || state->abandoned; });
        done = state->answered;
        answer = state->result;
      }
    } catch (const std::exception&) {
      done = 0;
    }
  }
  if (result) *result = done ? answer : 0;
  return done;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  SendMessageTimeout(window, message, wParam, lParam, 5000, &result);
  return result;
}
