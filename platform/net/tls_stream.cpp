#include "platform/net/tls_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/net/tls_context.h"

namespace hv::net {

namespace {

using Clock = std::chrono::steady_clock;

// What OpenSSL's reads and writes reach: the socket, without SIGPIPE, and
// the system error of the last failure, which OpenSSL's own calls may
// overwrite in errno before it is looked at.
struct Channel {
  int fd = -1;
  int lastErrno = 0;
};

int ChannelWrite(BIO* bio, const char* data, int length) {
  auto* channel = static_cast<Channel*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  const ssize_t sent = ::send(channel->fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (sent >= 0) return static_cast<int>(sent);
  if (errno == EAGAIN || errno == EINTR) {
    BIO_set_retry_write(bio);
  } else {
    channel->lastErrno = errno;
  }
  return -1;
}

int ChannelRead(BIO* bio, char* buffer, int size) {
  auto* channel = static_cast<Channel*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  const ssize_t received = ::recv(channel->fd, buffer, static_cast<std::size_t>(size), 0);
  if (received >= 0) return static_cast<int>(received);
  if (errno == EAGAIN || errno == EINTR) {
    BIO_set_retry_read(bio);
  } else {
    channel->lastErrno = errno;
  }
  return -1;
}

long ChannelControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

BIO_METHOD* ChannelMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "harvion socket");
    if (made) {
      BIO_meth_set_write(made, ChannelWrite);
      BIO_meth_set_read(made, ChannelRead);
      BIO_meth_set_ctrl(made, ChannelControl);
    }
    return made;
  }();
  return method;
}

std::string OpenSslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : "unknown error";
}

class TlsStream final : public ByteStream {
 public:
  explicit TlsStream(TcpSocket&& socket) : m_socket(std::move(socket)) { m_channel.fd = m_socket.Fd(); }
  ~TlsStream() override {
    if (m_socket.IsOpen()) m_socket.CloseHard();
  }

  bool Handshake(const std::string& host, const std::string& caFile, TlsFailure& failure);

  bool SendAll(const char* data, std::size_t length) override;
  long Receive(char* buffer, std::size_t size, int waitMs) override;
  void ShutdownSend() override;
  bool Close() override {
    SendCloseNotify();
    return m_socket.Close();
  }
  void CloseHard() override { m_socket.CloseHard(); }
  bool IsOpen() const override { return m_socket.IsOpen(); }
  int LastError() const override { return m_nError; }
  std::string FailureText() const override { return m_strFailure.empty() ? m_strFailure : "TLS: " + m_strFailure; }

 private:
  struct Deadline {
    bool bounded;
    Clock::time_point at;
  };
  Deadline After(int waitMs) const {
    const int ms = waitMs >= 0 ? waitMs : m_socket.TimeoutMs();
    return {waitMs >= 0 || ms > 0, Clock::now() + std::chrono::milliseconds(ms)};
  }
  // Waits until the socket can do what OpenSSL's answer asks for; false,
  // with the error kept, when the deadline passed or the wait failed.
  bool WaitFor(int sslError, const Deadline& deadline);
  // Keeps the error of a failed OpenSSL call; returns false.
  bool Fail(int sslError);
  // close_notify, once, if the socket takes it now; never after a failure,
  // when OpenSSL must not write again.
  void SendCloseNotify();

  TcpSocket m_socket;
  Channel m_channel;
  std::unique_ptr<SSL, decltype(&SSL_free)> m_ssl{nullptr, SSL_free};
  int m_nError = 0;
  std::string m_strFailure;
  bool m_bCloseSent = false;
  bool m_bFailed = false;  // an OpenSSL call failed: the connection is done
};

bool TlsStream::WaitFor(int sslError, const Deadline& deadline) {
  const short events = sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
  for (;;) {
    int left = -1;
    if (deadline.bounded) {
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline.at - Clock::now()).count();
      left = ms > 0 ? static_cast<int>(ms) : 0;
    }
    pollfd ready{m_channel.fd, events, 0};
    const int result = ::poll(&ready, 1, left);
    if (result > 0) return true;  // readable, writable, or shut down: the next call tells
    if (result < 0 && errno == EINTR) continue;
    m_nError = result == 0 ? kErrorTimedOut : WinSockError(errno);
    m_strFailure = result == 0 ? "no answer within the time-out" : std::strerror(errno);
    return false;
  }
}

bool TlsStream::Fail(int sslError) {
  m_bFailed = true;
  if (sslError == SSL_ERROR_SYSCALL && m_channel.lastErrno != 0) {
    m_nError = WinSockError(m_channel.lastErrno);
    m_strFailure = std::strerror(m_channel.lastErrno);
  } else if (sslError == SSL_ERROR_SYSCALL) {
    m_nError = kErrorTlsProtocol;
    m_strFailure = "the server closed the connection";
  } else {
    m_nError = kErrorTlsProtocol;
    m_strFailure = OpenSslReason();
  }
  ERR_clear_error();
  return false;
}

bool TlsStream::Handshake(const std::string& host, const std::string& caFile, TlsFailure& failure) {
  failure = {};
  std::string contextError;
  const TlsContextPtr context = SharedTlsContext(caFile, contextError);
  if (!context) {
    failure = {TlsFailure::Kind::caFile, contextError, 0};
    return false;
  }
  ERR_clear_error();
  m_ssl.reset(SSL_new(context.get()));
  BIO* bio = ChannelMethod() ? BIO_new(ChannelMethod()) : nullptr;
  if (!m_ssl || !bio) {
    BIO_free(bio);
    failure = {TlsFailure::Kind::handshake, "TLS could not be set up: " + OpenSslReason(), 0};
    return false;
  }
  BIO_set_data(bio, &m_channel);
  BIO_set_init(bio, 1);
  SSL_set_bio(m_ssl.get(), bio, bio);
  in_addr dotted{};
  X509_VERIFY_PARAM* check = SSL_get0_param(m_ssl.get());
  if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
    // An address is checked as one; it names no server to pick.
    X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str());
  } else {
    X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(m_ssl.get(), host.c_str());
    SSL_set_tlsext_host_name(m_ssl.get(), host.c_str());
  }
  // Every wait from here on is bounded by a deadline, not by the socket.
  const int flags = ::fcntl(m_channel.fd, F_GETFL);
  if (flags < 0 || ::fcntl(m_channel.fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    failure = {TlsFailure::Kind::handshake, std::strerror(errno), WinSockError(errno)};
    return false;
  }
  const Deadline deadline = After(-1);
  for (;;) {
    const int result = SSL_connect(m_ssl.get());
    if (result == 1) return true;
    const int error = SSL_get_error(m_ssl.get(), result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (WaitFor(error, deadline)) continue;
    } else {
      Fail(error);
    }
    break;
  }
  const long verified = SSL_get_verify_result(m_ssl.get());
  const char* verifyText = X509_verify_cert_error_string(verified);
  switch (verified) {
    case X509_V_OK:
      failure = {TlsFailure::Kind::handshake, m_strFailure, m_nError == kErrorTlsProtocol ? 0 : m_nError};
      break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      failure = {TlsFailure::Kind::expired, verifyText, 0};
      break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      failure = {TlsFailure::Kind::otherHost, verifyText, 0};
      break;
    default:
      failure = {TlsFailure::Kind::untrusted, verifyText, 0};
      break;
  }
  return false;
}

bool TlsStream::SendAll(const char* data, std::size_t length) {
  const Deadline deadline = After(-1);
  while (length > 0) {
    ERR_clear_error();
    std::size_t sent = 0;
    const int result = SSL_write_ex(m_ssl.get(), data, length, &sent);
    if (result == 1) {
      data += sent;
      length -= sent;
      continue;
    }
    const int error = SSL_get_error(m_ssl.get(), result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return Fail(error);
    if (!WaitFor(error, deadline)) return false;
  }
  return true;
}

long TlsStream::Receive(char* buffer, std::size_t size, int waitMs) {
  const Deadline deadline = After(waitMs);
  for (;;) {
    ERR_clear_error();
    std::size_t received = 0;
    const int result = SSL_read_ex(m_ssl.get(), buffer, size, &received);
    if (result == 1) return static_cast<long>(received);
    const int error = SSL_get_error(m_ssl.get(), result);
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    if (error == SSL_ERROR_SYSCALL && m_channel.lastErrno == 0 && ERR_peek_error() == 0) return 0;
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      Fail(error);
      return -1;
    }
    if (!WaitFor(error, deadline)) return -1;
  }
}

void TlsStream::SendCloseNotify() {
  // Nothing waits for it: the socket takes it now or never.
  if (!m_bCloseSent && !m_bFailed && m_ssl && SSL_is_init_finished(m_ssl.get())) SSL_shutdown(m_ssl.get());
  m_bCloseSent = true;
  ERR_clear_error();
}

void TlsStream::ShutdownSend() {
  SendCloseNotify();
  m_socket.ShutdownSend();
}

}  // namespace

std::unique_ptr<ByteStream> StartTls(TcpSocket&& socket, const std::string& host, const std::string& caFile,
                                     TlsFailure& failure) {
  auto stream = std::make_unique<TlsStream>(std::move(socket));
  if (!stream->Handshake(host, caFile, failure)) return nullptr;
  return stream;
}

}  // namespace hv::net
