// A forwarding proxy on 127.0.0.1 that holds every request a fixed time
// before passing it on, so a local server answers like a distant one. One
// thread per connection; a request is counted at the blank line ending its
// header (the clients measured send no bodies). It adds up how long requests
// were in flight: from the end of a request's header to the last byte of
// the answer passed back before the next request or the close, which is the
// whole transfer for a client that waits for each answer before it asks
// again on that connection. Bytes it cannot read (TLS) are held once per
// read from the client instead: each flight of the handshake and each
// request then waits the delay, as over a distant network.
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
  enum class Hold { perRequest, perRead };

  DelayProxy(int upstreamPort, std::chrono::milliseconds delay, Hold hold = Hold::perRequest)
      : m_upstreamPort(upstreamPort), m_delay(delay), m_hold(hold) {}
  ~DelayProxy();
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;

  // Listening on a port the system assigns; false when it cannot.
  bool Start();
  void Stop();
  int Port() const { return m_port; }
  // Seconds of requests in flight so far, summed over connections; a
  // connection's request still open counts up to its last answer byte.
  double BusySeconds() const { return static_cast<double>(m_busyNs.load()) / 1e9; }

 private:
  void AcceptLoop();
  void Relay(int client);

  int m_upstreamPort;
  std::chrono::milliseconds m_delay;
  Hold m_hold;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_bStopping{false};
  std::atomic<long long> m_busyNs{0};
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::condition_variable m_relayEnded;
  int m_nRelays = 0;  // detached relay threads still running
  std::vector<int> m_sockets;  // open connections, shut down at Stop
};

}  // namespace bench
