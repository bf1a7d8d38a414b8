#include "engine/http/connection_pool.h"

#include <algorithm>
#include <iterator>

ConnectionPool::~ConnectionPool() { CloseAll(); }

ConnectionPool::Connection ConnectionPool::Take(int worker, const Destination& destination, Clock::time_point now) {
  std::vector<Idle> closing;
  Connection taken;
  {
    std::lock_guard lock(m_mutex);
    const auto found = std::find_if(m_idle.begin(), m_idle.end(), [&](const Idle& idle) {
      return idle.worker == worker && idle.destination == destination;
    });
    if (found == m_idle.end()) return taken;
    if (now - found->since < kMaxIdleTime) {
      taken = std::move(found->connection);
    } else {
      closing.push_back(std::move(*found));
    }
    m_idle.erase(found);
  }
  Close(closing);
  return taken;
}

void ConnectionPool::GiveBack(int worker, const Destination& destination, Connection connection,
                              Clock::time_point now) {
  if (!connection) return;
  std::vector<Idle> closing;
  {
    std::lock_guard lock(m_mutex);
    const auto mine = [worker](const Idle& idle) { return idle.worker == worker; };
    // Only one per server: the new one has just shown it works.
    for (auto it = m_idle.begin(); it != m_idle.end();) {
      if (it->worker == worker && it->destination == destination) {
        closing.push_back(std::move(*it));
        it = m_idle.erase(it);
      } else {
        ++it;
      }
    }
    if (static_cast<std::size_t>(std::count_if(m_idle.begin(), m_idle.end(), mine)) >= kMaxIdlePerWorker) {
      // The entries are in the order they were kept: the first is the oldest.
      const auto oldest = std::find_if(m_idle.begin(), m_idle.end(), mine);
      closing.push_back(std::move(*oldest));
      m_idle.erase(oldest);
    }
    m_idle.push_back({worker, destination, std::move(connection), now});
  }
  Close(closing);
}

void ConnectionPool::CloseAll() {
  std::vector<Idle> closing;
  {
    std::lock_guard lock(m_mutex);
    closing.swap(m_idle);
  }
  Close(closing);
}

std::size_t ConnectionPool::IdleCount() {
  std::lock_guard lock(m_mutex);
  return m_idle.size();
}

void ConnectionPool::Close(std::vector<Idle>& closing) {
  for (Idle& idle : closing) {
    if (idle.connection.stream) idle.connection.stream->Close();
  }
  closing.clear();
}
