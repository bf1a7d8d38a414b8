#include "engine/http/proxy_tunnel.h"

#include <chrono>
#include <cstdlib>

#include "engine/http/http_async_client.h"
#include "engine/http/http_header.h"
#include "platform/net/byte_stream.h"
#include "platform/net/tcp_socket.h"

namespace {

using Clock = std::chrono::steady_clock;

// The answer's status line without its line end, cut to a readable length.
std::string StatusLine(const std::string& answer) {
  std::string line = answer.substr(0, answer.find_first_of("\r\n"));
  if (line.size() > 80) line.resize(80);
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return line;
}

TunnelResult Refused(std::string why) { return {HttpStatus::proxyRefused, 0, std::move(why)}; }

}  // namespace

TunnelResult OpenProxyTunnel(hv::net::ByteStream& stream, const std::string& authority,
                             const std::string& userAgent, int timeoutMs) {
  std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (!userAgent.empty()) request += "User-Agent: " + userAgent + "\r\n";
  request += "\r\n";
  if (!stream.SendAll(request.data(), request.size())) return {HttpStatus::sendFailed, stream.LastError(), {}};

  // The whole answer within one time-out: a proxy that trickles holds no worker.
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string answer;
  std::size_t end = 0;
  while ((end = FindHeaderEnd(answer)) == 0) {
    if (answer.size() > kMaxHttpHeader) return {HttpStatus::headerTooLong, 0, {}};
    int wait = -1;
    if (timeoutMs > 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return {HttpStatus::timedOut, hv::net::kErrorTimedOut, {}};
      wait = static_cast<int>(left);
    }
    char block[4096];
    const long received = stream.Receive(block, sizeof block, wait);
    if (received < 0) return {HttpStatus::receiveFailed, stream.LastError(), {}};
    if (received == 0) return Refused("the proxy closed without opening a tunnel");
    answer.append(block, static_cast<std::size_t>(received));
  }
  const std::string line = StatusLine(answer);
  const std::size_t blank = line.find(' ');
  const bool http = line.starts_with("HTTP/") && blank != std::string::npos;
  const int code = http ? std::atoi(line.c_str() + blank + 1) : 0;
  if (code < 200 || code > 299) return Refused("the proxy refused the tunnel: " + line);
  // Nothing may come from the server before the TLS handshake asks it.
  if (end != answer.size()) return Refused("the proxy sent bytes after opening the tunnel");
  return {};
}
