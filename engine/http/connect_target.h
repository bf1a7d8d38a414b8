// Where a transfer connects for an address, and what it does on the
// connection before its request: straight to the server, to a proxy that
// forwards an http: request, or through a tunnel the proxy opens to an
// https: server, with TLS to that server.
#pragma once

#include <cstdint>
#include <string>

#include "engine/settings/engine_app.h"

struct ConnectTarget {
  std::string host;        // where the socket connects: the server or the proxy
  std::uint16_t port = 0;  // 0 when the address gives no port number
  bool secure = false;     // TLS with the server (https:)
  std::string serverHost;  // the name TLS asks for and checks the certificate against
  std::string tunnel;      // "host:port" the proxy is asked to CONNECT to; empty for none
};

// True for an https: address, whose request goes over TLS.
bool IsSecureAddress(const std::string& address);

// The target for address under the proxy settings; false when the address
// (or the proxy location) names no host.
bool MakeConnectTarget(const std::string& address, const EngineApp::RequestSettings& settings,
                       ConnectTarget& target);
