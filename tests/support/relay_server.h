// A loopback server that passes each connection's bytes on to a port of
// 127.0.0.1 and back: with TLS toward its client (a TLS front for the
// script server), or as a proxy that opens a tunnel on CONNECT. A close or
// a reset on one side is passed to the other as it came.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace hv::test {

class RelayServer {
 public:
  struct Options {
    std::uint16_t targetPort = 0;  // where the bytes go; a proxy takes the port its CONNECT names
    std::string certFile, keyFile;  // TLS toward the client when set
    bool proxy = false;             // a CONNECT request and its answer come first
    std::string proxyAnswer = "HTTP/1.1 200 Connection established\r\n\r\n";
  };

  explicit RelayServer(Options options);
  ~RelayServer();
  RelayServer(const RelayServer&) = delete;
  RelayServer& operator=(const RelayServer&) = delete;

  std::uint16_t Port() const { return m_port; }
  // The CONNECT requests a proxy read, header block included.
  std::vector<std::string> Requests();

 private:
  void AcceptLoop();
  void Serve(int clientFd);
  // Reads and answers the CONNECT request; the port it names, 0 when refused.
  std::uint16_t ReadConnect(int clientFd);

  Options m_options;
  ssl_ctx_st* m_pContext = nullptr;  // of the TLS side, when there is one
  int m_listenFd = -1;
  int m_wakeFds[2] = {-1, -1};
  std::uint16_t m_port = 0;
  std::thread m_acceptThread;
  std::mutex m_mutex;  // guards everything below
  bool m_bStopping = false;
  std::vector<int> m_fds;  // every open connection, client and upstream, to shut down at the end
  std::vector<std::thread> m_threads;
  std::vector<std::string> m_requests;
};

}  // namespace hv::test
