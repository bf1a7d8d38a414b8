// A forwarding proxy on 127.0.0.1 that holds every request a fixed time
// before passing it on, so a local server answers like a distant one. One
// thread per connection; a request is counted at the blank line ending its
// header (the clients measured send no bodies).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace bench {

class DelayProxy {
 public:
  DelayProxy(int upstreamPort, std::chrono::milliseconds delay) : m_upstreamPort(upstreamPort), m_delay(delay) {}
  ~DelayProxy();
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;

  // Listening on a port the system assigns; false when it cannot.
  bool Start();
  void Stop();
  int Port() const { return m_port; }

 private:
  void AcceptLoop();
  void Relay(int client);

  int m_upstreamPort;
  std::chrono::milliseconds m_delay;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_bStopping{false};
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::condition_variable m_relayEnded;
  int m_nRelays = 0;  // detached relay threads still running
  std::vector<int> m_sockets;  // open connections, shut down at Stop
};

}  // namespace bench
