// The CONNECT exchange that has a proxy open a tunnel to an https: server,
// over which TLS then runs from end to end.
#pragma once

#include <string>

namespace hv::net {
class ByteStream;
}

struct TunnelResult {
  int status = 0;        // 0: the tunnel is open; else an HttpStatus
  int socketError = 0;   // the WinSock number when the connection failed
  std::string failure;   // why, in words, when the proxy refused
};

// Asks the proxy on stream for a tunnel to authority ("host:port") and
// reads its answer, which must end within timeoutMs (0: no bound) and
// the header size the transport accepts, and must be 2xx.
TunnelResult OpenProxyTunnel(hv::net::ByteStream& stream, const std::string& authority,
                             const std::string& userAgent, int timeoutMs);
