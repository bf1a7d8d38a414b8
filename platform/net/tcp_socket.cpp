#include "platform/net/tcp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>

#include "platform/net/open_sockets.h"

namespace hv::net {

int WinSockError(int systemError) {
  switch (systemError) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    // A send or receive time-out: the blocking call returned without data.
    case EAGAIN:
    case EINPROGRESS:
    case ETIMEDOUT:
      return kErrorTimedOut;
    case EALREADY:
      return 10037;
    case EMSGSIZE:
      return 10040;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return kErrorNetworkDown;
    case ENETUNREACH:
      return kErrorNetworkUnreachable;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
    case EPIPE:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ECONNREFUSED:
      return 10061;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    default:
      return 10000 + 100 + systemError;  // kept apart from the numbers above
  }
}

std::string ConnectErrorWords(int winSockError) {
  switch (winSockError) {
    case 10061:
      return "connection refused";
    case kErrorTimedOut:
      return "timed out";
    case kErrorNetworkDown:
      return "network down";
    case kErrorNetworkUnreachable:
      return "network unreachable";
    case 10064:
      return "host down";
    case 10065:
      return "host unreachable";
    default:
      return {};
  }
}

bool ResolveIPv4(const std::string& host, std::uint32_t& address, int& error) {
  error = 0;
  in_addr dotted{};
  if (inet_aton(host.c_str(), &dotted) != 0) {
    address = dotted.s_addr;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || !found) {
    error = result == EAI_SYSTEM ? WinSockError(errno) : kErrorHostNotFound;
    if (found) freeaddrinfo(found);
    return false;
  }
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : m_fd(other.m_fd),
      m_nError(other.m_nError),
      m_nTimeoutMs(other.m_nTimeoutMs),
      m_pWatch(other.m_pWatch),
      m_nWatchSlot(other.m_nWatchSlot) {
  other.m_fd = -1;
  other.m_pWatch = nullptr;
}

TcpSocket::~TcpSocket() {
  if (IsOpen()) CloseHard();
}

bool TcpSocket::Fail() {
  m_nError = WinSockError(errno);
  return false;
}

bool TcpSocket::Create() {
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return m_fd >= 0 || Fail();
}

bool TcpSocket::Watch(OpenSockets& sockets, int slot) {
  if (!sockets.Enter(slot, m_fd)) return false;
  m_pWatch = &sockets;
  m_nWatchSlot = slot;
  return true;
}

bool TcpSocket::SetTimeouts(int milliseconds) {
  timeval limit{};
  limit.tv_sec = milliseconds / 1000;
  limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
  if (setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) return Fail();
  if (setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return Fail();
  m_nTimeoutMs = milliseconds;
  return true;
}

bool TcpSocket::Connect(std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = address;
  // Begun without blocking: a stop that shut the socket down before the
  // connection began did nothing to it and is seen here; one after it
  // aborts the attempt and ends the wait below.
  const int flags = fcntl(m_fd, F_GETFL);
  if (flags < 0 || fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) != 0) return Fail();
  const bool begun = connect(m_fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 ||
                     errno == EINPROGRESS || errno == EINTR;
  int error = begun ? 0 : errno;
  if (begun && m_pWatch && m_pWatch->IsCutOff(m_nWatchSlot)) error = ECONNABORTED;
  if (begun && error == 0) {
    // The time-out bounds the attempt, as the send time-out bounds a blocking connect.
    pollfd writable{m_fd, POLLOUT, 0};
    int ready;
    do {
      ready = poll(&writable, 1, m_nTimeoutMs > 0 ? m_nTimeoutMs : -1);
    } while (ready < 0 && errno == EINTR);
    socklen_t length = sizeof error;
    if (ready == 0) {
      error = ETIMEDOUT;
    } else if (ready < 0 || getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
      error = errno;
    }
  }
  fcntl(m_fd, F_SETFL, flags);
  if (error == 0) return true;
  errno = error;
  return Fail();
}

bool TcpSocket::SendAll(const char* data, std::size_t length) {
  while (length > 0) {
    // No SIGPIPE when the server has gone: the error is the answer.
    const ssize_t sent = send(m_fd, data, length, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    data += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

long TcpSocket::Receive(char* buffer, std::size_t size, int waitMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  // A wait hardly shorter than the socket's own time-out is left to that:
  // one system call per receive, as without a wait.
  const bool mustPoll = waitMs >= 0 && !(m_nTimeoutMs > 0 && waitMs >= m_nTimeoutMs - m_nTimeoutMs / 16);
  for (;;) {
    if (mustPoll) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd readable{m_fd, POLLIN, 0};
      const int ready = poll(&readable, 1, left > 0 ? static_cast<int>(left) : 0);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        Fail();
        return -1;
      }
      if (ready == 0) {
        m_nError = kErrorTimedOut;
        return -1;
      }
    }
    const ssize_t received = recv(m_fd, buffer, size, 0);
    if (received >= 0) return static_cast<long>(received);
    if (errno != EINTR) {
      Fail();
      return -1;
    }
  }
}

void TcpSocket::ShutdownSend() { shutdown(m_fd, SHUT_WR); }

bool TcpSocket::Close() {
  const int fd = m_fd;
  m_fd = -1;
  // Out of the watch first: from now on the number may be given out again.
  if (m_pWatch) m_pWatch->Leave(m_nWatchSlot, fd);
  m_pWatch = nullptr;
  // Linux frees the descriptor even when close reports an error, so it is
  // never closed again.
  return close(fd) == 0 || Fail();
}

void TcpSocket::CloseHard() {
  linger reset{};
  reset.l_onoff = 1;
  reset.l_linger = 0;
  setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  Close();
}

}  // namespace hv::net
