#include "delay_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace bench {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  return addr;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void NoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

DelayProxy::~DelayProxy() { Stop(); }

bool DelayProxy::Start() {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listener < 0) return false;
  sockaddr_in addr = Loopback(0);
  socklen_t length = sizeof addr;
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listener, 1024) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    ::close(m_listener);
    m_listener = -1;
    return false;
  }
  m_port = ntohs(addr.sin_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
  return true;
}

void DelayProxy::Stop() {
  if (m_listener < 0) return;
  m_bStopping = true;
  ::shutdown(m_listener, SHUT_RDWR);
  if (m_acceptor.joinable()) m_acceptor.join();
  {
    std::unique_lock lock(m_mutex);
    for (int fd : m_sockets) ::shutdown(fd, SHUT_RDWR);
    m_relayEnded.wait(lock, [&] { return m_nRelays == 0; });
  }
  ::close(m_listener);
  m_listener = -1;
}

void DelayProxy::AcceptLoop() {
  while (!m_bStopping) {
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (m_bStopping || (errno != EINTR && errno != ECONNABORTED && errno != EMFILE)) return;
      continue;
    }
    std::lock_guard lock(m_mutex);
    m_sockets.push_back(client);
    ++m_nRelays;
    std::thread([this, client] { Relay(client); }).detach();
  }
}

// Both directions in one thread: what the client sends waits the delay for
// each request header it ends, what the server sends goes back at once.
void DelayProxy::Relay(int client) {
  const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = Loopback(m_upstreamPort);
  if (upstream >= 0 && ::connect(upstream, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    NoDelay(client);
    NoDelay(upstream);
    {
      std::lock_guard lock(m_mutex);
      m_sockets.push_back(upstream);
    }
    pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
    char buffer[65536];
    std::string tail;  // the last bytes from the client, to find a header end split across reads
    using Clock = std::chrono::steady_clock;
    Clock::time_point asked{};  // the end of the open request's header
    Clock::time_point answered{};  // the last answer byte passed back since
    bool inFlight = false;
    const auto settle = [&] {
      if (inFlight && answered > asked)
        m_busyNs += std::chrono::duration_cast<std::chrono::nanoseconds>(answered - asked).count();
      inFlight = false;
    };
    bool open = true;
    while (open && !m_bStopping) {
      if (::poll(fds, 2, 1000) < 0 && errno != EINTR) break;
      for (int i = 0; i < 2 && open; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
          open = false;
          break;
        }
        if (i == 0) {
          std::string seen = tail + std::string(buffer, static_cast<std::size_t>(got));
          int requests = m_hold == Hold::perRead ? 1 : 0;
          for (std::size_t at = seen.find("\r\n\r\n"); m_hold == Hold::perRequest && at != std::string::npos;
               at = seen.find("\r\n\r\n", at + 4))
            ++requests;
          tail = seen.substr(seen.size() - std::min<std::size_t>(seen.size(), 3));
          if (requests > 0) {
            settle();
            asked = Clock::now();
            inFlight = true;
            std::this_thread::sleep_for(m_delay * requests);
          }
        }
        open = SendAll(fds[1 - i].fd, buffer, static_cast<std::size_t>(got));
        if (i == 1) answered = Clock::now();
      }
    }
    settle();
  }
  std::lock_guard lock(m_mutex);
  for (int fd : {client, upstream}) {
    if (fd < 0) continue;
    m_sockets.erase(std::remove(m_sockets.begin(), m_sockets.end(), fd), m_sockets.end());
    ::close(fd);
  }
  --m_nRelays;
  m_relayEnded.notify_all();
}

}  // namespace bench
