// TLS over a connected socket: the handshake names the server (SNI),
// verifies its chain and that the certificate is for that host, and then
// the stream sends and receives through it. Every wait is bounded by the
// socket's time-out, and a stop that shuts the socket down ends any of
// them at once, as for a plain socket.
#pragma once

#include <memory>
#include <string>

#include "platform/net/byte_stream.h"
#include "platform/net/tcp_socket.h"

namespace hv::net {

// Not a WinSock number: the peer broke the TLS rules or sent an alert.
constexpr int kErrorTlsProtocol = 10300;

struct TlsFailure {
  enum class Kind {
    none,
    untrusted,   // the chain leads to no certificate trusted here
    otherHost,   // the certificate names another host
    expired,     // a certificate of the chain has expired
    caFile,      // the user's CA file could not be used
    handshake,   // anything else that ended the handshake
  };
  Kind kind = Kind::none;
  std::string reason;  // OpenSSL's words, or the system's
  int socketError = 0;  // a WinSock number when the socket failed (10060: timed out)
};

// The socket (connected, its time-outs set) with TLS to host, a name or a
// dotted address; caFile adds certificates trusted beside the system's.
// Null, with failure told, when the handshake did not succeed; the socket
// is then closed.
std::unique_ptr<ByteStream> StartTls(TcpSocket&& socket, const std::string& host, const std::string& caFile,
                                     TlsFailure& failure);

}  // namespace hv::net
