// Connections kept open after an answer whose end was known, so the next
// request of the same worker to the same server goes out at once instead of
// after a new connection (and a new TLS handshake). Each worker keeps at
// most one idle connection per server, and only a few in all; a connection
// idle too long, a stop and the end of a run close them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net/byte_stream.h"

class ConnectionPool {
 public:
  using Clock = std::chrono::steady_clock;

  // Where a connection leads: a request may go out on it only when all match.
  struct Destination {
    std::string scheme;
    std::string host;
    std::uint16_t port = 0;
    std::string proxy;  // the proxy location, empty for a direct connection
    bool operator==(const Destination&) const = default;
  };

  // An open connection, with the socket under it for the worker's slot of
  // open sockets (a stop shuts it down there while it is in use).
  struct Connection {
    std::unique_ptr<hv::net::ByteStream> stream;
    int fd = -1;
    explicit operator bool() const { return stream != nullptr; }
  };

  static constexpr std::size_t kMaxIdlePerWorker = 8;
  // Well within what servers keep an idle connection for (nginx: 75 s),
  // so that a kept connection is rarely found closed.
  static constexpr Clock::duration kMaxIdleTime = std::chrono::seconds(30);

  ConnectionPool() = default;
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // The connection worker left open to destination, if it has one idle for
  // less than kMaxIdleTime; an empty one otherwise.
  Connection Take(int worker, const Destination& destination, Clock::time_point now = Clock::now());
  // Keeps connection as worker's idle connection to destination, once its
  // answer has ended. One kept there before, and the worker's longest idle
  // one past kMaxIdlePerWorker, are closed.
  void GiveBack(int worker, const Destination& destination, Connection connection,
                Clock::time_point now = Clock::now());
  // Closes every idle connection: a stop, the end of a run.
  void CloseAll();
  std::size_t IdleCount();

 private:
  struct Idle {
    int worker;
    Destination destination;
    Connection connection;
    Clock::time_point since;
  };
  // Closes outside the lock: an orderly close of TLS still sends.
  static void Close(std::vector<Idle>& closing);

  std::mutex m_mutex;  // guards m_idle; never held while a connection is used
  std::vector<Idle> m_idle;
};
