#include "support/script_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace hv::test {

namespace {

constexpr int kDrainPatienceMs = 10'000;  // a peer that never closes does not hold a test

// A socket bound to 127.0.0.1 on a port the system picks; the port is written to port.
int BindLoopback(std::uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("no socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("cannot bind to the loopback address");
  }
  port = ntohs(address.sin_port);
  return fd;
}

bool SendAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

// Bytes the peer of fd has received but not read yet, from the system's
// table of TCP sockets; -1 when the peer is not found there.
long PeerUnread(int fd) {
  sockaddr_in self{}, peer{};
  socklen_t length = sizeof self;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length) != 0) return -1;
  length = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return -1;
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    unsigned localPort = 0, remotePort = 0;
    unsigned long unread = 0;
    if (std::sscanf(line.c_str(), " %*u: %*8X:%4X %*8X:%4X %*2X %*8X:%8lX", &localPort, &remotePort, &unread) == 3 &&
        localPort == ntohs(peer.sin_port) && remotePort == ntohs(self.sin_port))
      return static_cast<long>(unread);
  }
  return -1;
}

// Waits until what was sent on fd has reached the peer (acknowledged) and
// the peer has read it. Nothing signals that, so the system's counters are
// looked at in short intervals; after a while the send goes on regardless.
void WaitPeerRead(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  // Soon at first, then less often: on a busy machine reading the system's
  // table in a tight loop takes the time the peer needs to read.
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    int unacknowledged = 0;
    if (ioctl(fd, SIOCOUTQ, &unacknowledged) != 0) return;
    if (unacknowledged == 0 && PeerUnread(fd) <= 0) return;
    if (std::chrono::steady_clock::now() > deadline) return;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
}

}  // namespace

ScriptServer::ScriptServer(Script script) : ScriptServer(PerConnection{}, {std::move(script)}) {}

ScriptServer::ScriptServer(PerConnection, std::vector<Script> scripts) {
  // The last script is the one SetScript replaces.
  if (!scripts.empty()) {
    m_script = std::move(scripts.back());
    scripts.pop_back();
  }
  m_firstScripts = std::move(scripts);
  m_listenFd = BindLoopback(m_port);
  if (listen(m_listenFd, 64) != 0 || pipe2(m_wakeFds, O_CLOEXEC) != 0) {
    close(m_listenFd);
    throw std::runtime_error("cannot listen");
  }
  m_acceptThread = std::thread([this] { AcceptLoop(); });
}

ScriptServer::~ScriptServer() {
  const char stop = 0;
  (void)!write(m_wakeFds[1], &stop, 1);
  m_acceptThread.join();
  {
    std::lock_guard lock(m_mutex);
    m_bStopping = true;
    // Wakes every connection blocked in a receive or a send.
    for (const Connection& connection : m_connections)
      if (connection.fd >= 0) shutdown(connection.fd, SHUT_RDWR);
  }
  Release();
  for (std::size_t i = 0;; ++i) {
    std::thread thread;
    {
      std::lock_guard lock(m_mutex);
      if (i >= m_connections.size()) break;
      thread = std::move(m_connections[i].thread);
    }
    thread.join();
  }
  close(m_listenFd);
  close(m_wakeFds[0]);
  close(m_wakeFds[1]);
}

std::string ScriptServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> ScriptServer::Requests() {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

bool ScriptServer::WaitRequests(std::size_t count) {
  std::unique_lock lock(m_mutex);
  return m_requestRead.wait_for(lock, std::chrono::seconds(10), [&] { return m_requests.size() >= count; });
}

bool ScriptServer::WaitConnections(int count) {
  std::unique_lock lock(m_mutex);
  return m_requestRead.wait_for(lock, std::chrono::seconds(10),
                                [&] { return static_cast<int>(m_connections.size()) >= count; });
}

int ScriptServer::Connections() {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_connections.size());
}

void ScriptServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
    const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // Each send leaves at once, so split responses tend to arrive in pieces.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::lock_guard lock(m_mutex);
    const std::size_t index = m_connections.size();
    m_connections.push_back({fd, {}});
    m_connections[index].thread = std::thread([this, index] { Serve(index); });
    m_requestRead.notify_all();
  }
}

void ScriptServer::SetScript(Script script) {
  std::lock_guard lock(m_mutex);
  m_script = std::move(script);
}

void ScriptServer::Serve(std::size_t index) {
  int fd;
  Script script;
  {
    std::lock_guard lock(m_mutex);
    fd = m_connections[index].fd;
    script = index < m_firstScripts.size() ? m_firstScripts[index] : m_script;
  }
  for (const Step& step : script)
    if (!RunStep(index, fd, step)) break;
  CloseConnection(index, false);
}

bool ScriptServer::RunStep(std::size_t index, int fd, const Step& step) {
  switch (step.kind) {
    case Step::readRequest: {
      std::string request;
      char block[4096];
      std::size_t end;
      while ((end = request.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t received = recv(fd, block, sizeof block, 0);
        if (received <= 0) return false;
        request.append(block, static_cast<std::size_t>(received));
      }
      std::lock_guard lock(m_mutex);
      m_requests.push_back(request.substr(0, end + 4));
      m_requestRead.notify_all();
      return true;
    }
    case Step::send: {
      std::size_t from = 0;
      for (std::size_t to : step.splitAt) {
        to = std::min(to, step.bytes.size());
        if (to <= from) continue;
        if (!SendAll(fd, step.bytes.data() + from, to - from)) return false;
        if (step.paced) WaitPeerRead(fd);
        from = to;
      }
      return SendAll(fd, step.bytes.data() + from, step.bytes.size() - from);
    }
    case Step::waitRelease: {
      m_release.Wait();
      std::lock_guard lock(m_mutex);
      return !m_bStopping;
    }
    case Step::waitRequests:
      return WaitRequests(step.piece);
    case Step::close: {
      shutdown(fd, SHUT_WR);
      // Closing with the peer's bytes unread would reset the connection.
      char block[4096];
      pollfd readable{fd, POLLIN, 0};
      while (poll(&readable, 1, kDrainPatienceMs) > 0 && recv(fd, block, sizeof block, 0) > 0) {
      }
      CloseConnection(index, false);
      return false;
    }
    case Step::reset:
      CloseConnection(index, true);
      return false;
    case Step::sendForever: {
      if (!SendAll(fd, step.bytes.data(), step.bytes.size())) return false;
      const std::string line = "X-Filler: " + std::string(1000, 'a') + "\r\n";
      while (SendAll(fd, line.data(), line.size())) {
      }
      return false;
    }
    case Step::trickle: {
      // A stop of the server shuts the socket down: the next send fails.
      const std::size_t size = std::max<std::size_t>(step.piece, 1);
      const std::string filler(size, 'a');
      for (std::size_t from = 0; from < step.bytes.size() || step.endless; from += size) {
        std::this_thread::sleep_for(step.interval);
        const std::string_view piece =
            from < step.bytes.size() ? std::string_view(step.bytes).substr(from, size) : filler;
        if (!SendAll(fd, piece.data(), piece.size())) return false;
      }
      return true;
    }
  }
  return false;
}

void ScriptServer::CloseConnection(std::size_t index, bool hard) {
  std::lock_guard lock(m_mutex);
  int& fd = m_connections[index].fd;
  if (fd < 0) return;
  if (hard) {
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  close(fd);
  fd = -1;
}

DeadPort::DeadPort(Kind kind) {
  m_fd = BindLoopback(m_port);
  if (kind == refusing) return;
  // A backlog of 0 holds one connection that is never accepted; the
  // system ignores connects beyond it.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(m_port);
  m_fillerFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen(m_fd, 0) != 0 || m_fillerFd < 0 ||
      connect(m_fillerFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (m_fillerFd >= 0) close(m_fillerFd);
    close(m_fd);
    throw std::runtime_error("cannot fill a listening queue");
  }
}

DeadPort::~DeadPort() {
  if (m_fillerFd >= 0) close(m_fillerFd);
  close(m_fd);
}

}  // namespace hv::test
