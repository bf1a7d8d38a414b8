// Calls from the engine's threads, run in order on the Qt thread. They wait
// in a queue of our own under a standard mutex, and one queued wake-up at a
// time drains it: the hand-over is one the thread checker sees, and a burst
// of notifications costs a single event.
#pragma once

#include <QObject>
#include <functional>
#include <mutex>
#include <vector>

namespace hvui {

class CallQueue : public QObject {
  Q_OBJECT
 public:
  explicit CallQueue(QObject* parent = nullptr);

  // From any thread.
  void Post(std::function<void()> call);

  // Runs what is waiting; on the Qt thread.
  Q_INVOKABLE void Drain();

 private:
  std::mutex m_mutex;
  std::vector<std::function<void()>> m_calls;
  bool m_wakePending = false;
};

}  // namespace hvui
