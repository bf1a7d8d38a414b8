#include "engine/http/connect_target.h"

#include <charconv>
#include <strings.h>

#include "engine/http/url.h"

namespace {

// "host" or "host:port" into its parts; the port is defaultPort without
// one, and 0 (which no connection reaches) when it is not a port number.
void SplitHostPort(const std::string& hostPort, std::uint16_t defaultPort, std::string& host,
                   std::uint16_t& port) {
  const std::size_t colon = hostPort.find(':');
  host = hostPort.substr(0, colon);
  port = defaultPort;
  if (colon == std::string::npos) return;
  const char* first = hostPort.data() + colon + 1;
  const char* last = hostPort.data() + hostPort.size();
  unsigned value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  port = error == std::errc() && end == last && value <= 0xFFFF ? static_cast<std::uint16_t>(value) : 0;
}

}  // namespace

bool IsSecureAddress(const std::string& address) {
  std::string scheme;
  ComposeUrl(scheme, address.c_str(), nullptr, URL_SCHEME);
  return strcasecmp(scheme.c_str(), "https") == 0;
}

bool MakeConnectTarget(const std::string& address, const EngineApp::RequestSettings& settings,
                       ConnectTarget& target) {
  target = {};
  target.secure = IsSecureAddress(address);
  const std::uint16_t serverPort = target.secure ? 443 : 80;
  std::string hostPort;
  ComposeUrl(hostPort, address.c_str(), nullptr, URL_CONNECT_HOST);
  std::string proxied;
  if (!settings.ProxiedTarget(address, proxied)) {
    SplitHostPort(hostPort, serverPort, target.host, target.port);
    target.serverHost = target.host;
    return !hostPort.empty();
  }
  // An http: request goes to the proxy whole, whatever it names.
  std::string proxyHostPort;
  ComposeUrl(proxyHostPort, proxied.c_str(), nullptr, URL_CONNECT_HOST);
  if (proxyHostPort.empty()) return false;
  SplitHostPort(proxyHostPort, 80, target.host, target.port);
  if (target.secure) {
    if (hostPort.empty()) return false;
    std::uint16_t port = 0;
    SplitHostPort(hostPort, serverPort, target.serverHost, port);
    // A port that is no number is refused here rather than by the proxy.
    if (port == 0) target.port = 0;
    target.tunnel = target.serverHost + ":" + std::to_string(port);
  }
  return true;
}
