#include "support/relay_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace hv::test {

namespace {

constexpr std::size_t kMaxConnectRequest = 64 * 1024;

// The client side of a connection: TLS or plain.
class ClientSide {
 public:
  ClientSide(int fd, SSL* ssl) : m_fd(fd), m_ssl(ssl) {}
  bool Pending() const { return m_ssl && SSL_pending(m_ssl) > 0; }
  long Read(char* buffer, std::size_t size) {
    if (!m_ssl) return recv(m_fd, buffer, size, 0);
    const int got = SSL_read(m_ssl, buffer, static_cast<int>(size));
    return got > 0 ? got : (SSL_get_error(m_ssl, got) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
  }
  bool Write(const char* data, std::size_t length) {
    while (length > 0) {
      const long sent = m_ssl ? SSL_write(m_ssl, data, static_cast<int>(length))
                              : send(m_fd, data, length, MSG_NOSIGNAL);
      if (sent <= 0) return false;
      data += sent;
      length -= static_cast<std::size_t>(sent);
    }
    return true;
  }
  // The end of what the other side sent: close_notify, then the end of sending.
  void EndSending() {
    if (m_ssl) SSL_shutdown(m_ssl);
    shutdown(m_fd, SHUT_WR);
  }

 private:
  int m_fd;
  SSL* m_ssl;
};

int Listen(std::uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || listen(fd, 64) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot listen on the loopback address");
  }
  port = ntohs(address.sin_port);
  return fd;
}

int ConnectLoopback(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

void CloseHard(int fd) {
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

}  // namespace

RelayServer::RelayServer(Options options) : m_options(std::move(options)) {
  if (!m_options.certFile.empty()) {
    m_pContext = SSL_CTX_new(TLS_server_method());
    if (!m_pContext || SSL_CTX_use_certificate_file(m_pContext, m_options.certFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_pContext, m_options.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      SSL_CTX_free(m_pContext);
      throw std::runtime_error("cannot load the relay's certificate");
    }
  }
  m_listenFd = Listen(m_port);
  if (pipe2(m_wakeFds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  m_acceptThread = std::thread([this] { AcceptLoop(); });
}

RelayServer::~RelayServer() {
  const char stop = 0;
  (void)!write(m_wakeFds[1], &stop, 1);
  m_acceptThread.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(m_mutex);
    m_bStopping = true;
    for (const int fd : m_fds) shutdown(fd, SHUT_RDWR);
    threads = std::move(m_threads);
  }
  for (std::thread& thread : threads) thread.join();
  close(m_listenFd);
  close(m_wakeFds[0]);
  close(m_wakeFds[1]);
  SSL_CTX_free(m_pContext);
}

std::vector<std::string> RelayServer::Requests() {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

void RelayServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
    const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(m_mutex);
    m_fds.push_back(fd);
    m_threads.emplace_back([this, fd] { Serve(fd); });
  }
}

std::uint16_t RelayServer::ReadConnect(int clientFd) {
  std::string request;
  char block[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxConnectRequest) {
    const ssize_t received = recv(clientFd, block, sizeof block, 0);
    if (received <= 0) return 0;
    request.append(block, static_cast<std::size_t>(received));
  }
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(request);
  }
  const std::string& answer = m_options.proxyAnswer;
  if (send(clientFd, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) return 0;
  const std::size_t colon = request.find(':');
  const bool opened = request.starts_with("CONNECT 127.0.0.1:") && answer.find(" 200 ") != std::string::npos;
  return opened ? static_cast<std::uint16_t>(std::atoi(request.c_str() + colon + 1)) : 0;
}

void RelayServer::Serve(int clientFd) {
  // A write to a client that has gone fails; it must not end the test.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  const std::uint16_t port = m_options.proxy ? ReadConnect(clientFd) : m_options.targetPort;
  SSL* ssl = m_pContext && port != 0 ? SSL_new(m_pContext) : nullptr;
  if (ssl) SSL_set_fd(ssl, clientFd);
  const int upstream = port != 0 && (!ssl || SSL_accept(ssl) == 1) ? ConnectLoopback(port) : -1;
  {
    std::lock_guard lock(m_mutex);
    if (upstream >= 0) m_fds.push_back(upstream);
    if (m_bStopping && upstream >= 0) shutdown(upstream, SHUT_RDWR);
  }
  ClientSide client(clientFd, ssl);
  bool clientOpen = upstream >= 0, upstreamOpen = upstream >= 0;
  char block[16 * 1024];
  while (clientOpen || upstreamOpen) {
    pollfd fds[2] = {{clientFd, static_cast<short>(clientOpen ? POLLIN : 0), 0},
                     {upstream, static_cast<short>(upstreamOpen ? POLLIN : 0), 0}};
    if (!client.Pending() && poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (clientOpen && (client.Pending() || fds[0].revents != 0)) {
      const long got = client.Read(block, sizeof block);
      if (got > 0 && send(upstream, block, static_cast<std::size_t>(got), MSG_NOSIGNAL) < 0) break;
      if (got <= 0) {
        clientOpen = false;
        shutdown(upstream, SHUT_WR);
      }
    }
    if (upstreamOpen && fds[1].revents != 0) {
      const ssize_t got = recv(upstream, block, sizeof block, 0);
      if (got < 0) {
        // The server reset its side: so does the relay toward the client.
        CloseHard(clientFd);
        break;
      }
      if (got == 0) {
        upstreamOpen = false;
        client.EndSending();
      } else if (!client.Write(block, static_cast<std::size_t>(got))) {
        break;
      }
    }
  }
  if (ssl) SSL_free(ssl);
  std::lock_guard lock(m_mutex);
  for (const int fd : {clientFd, upstream}) {
    if (fd < 0) continue;
    std::erase(m_fds, fd);
    close(fd);
  }
}

}  // namespace hv::test
