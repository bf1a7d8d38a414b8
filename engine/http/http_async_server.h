// The engine's job server for page transfers: its workers run one HTTP
// transfer at a time each. A run starts with Start, which dials first when
// autodial is on, and ends by hanging up a connection that this run dialled.
#pragma once

#include <atomic>
#include <memory>

#include "engine/http/async_server.h"
#include "engine/http/connection_pool.h"
#include "engine/http/credentials_asker.h"
#include "harvion/ras.h"
#include "platform/net/open_sockets.h"

class CHTTPAsyncServer : public CAsyncServer {
  DECLARE_DYNAMIC(CHTTPAsyncServer)

 public:
  // The engine's one server, which reports its runs to the user interface.
  static CHTTPAsyncServer& Instance();

  // serverType -1 reports to nobody (tests, benchmarks).
  explicit CHTTPAsyncServer(int serverType = 1);
  ~CHTTPAsyncServer() override;

  // Starts a run: threads workers, each socket operation bounded by
  // timeoutSeconds. False when the connection could not be dialled (the
  // user was told) or the workers could not start.
  bool Start(int threads, int timeoutSeconds);

  // Milliseconds; 0 leaves sockets without a time-out.
  int SocketTimeout() const { return m_nTimeout.load(); }
  // The sockets of running transfers, by worker index: a stop shuts them down.
  hv::net::OpenSockets& Sockets() { return m_sockets; }
  // The connections workers keep open between transfers; closed at the end
  // of a run.
  ConnectionPool& Pool() { return m_pool; }
  // Where locations ask the user for credentials. A run does not end while
  // an answer is waited for; a stop drops the questions.
  CCredentialsAsker& Asker() { return m_asker; }

  int m_noHangup = 1;  // 0 while the connection is one this run dialled

 protected:
  bool HasPendingWork() override { return m_asker.Pending(); }
  bool OnStart() override;
  void OnStopped() override;
  std::unique_ptr<CWorkerThread> CreateWorker(int index) override;
  void OnJobCutOff(int index) override;

 private:
  bool DialIfNeeded();

  std::atomic<int> m_nTimeout{0};
  int m_nNextTimeout = 0;  // the time-out of the run being started
  hv::net::OpenSockets m_sockets;
  ConnectionPool m_pool;
  CRas m_ras;
  CCredentialsAsker m_asker{[this] { WakeIdleWorkers(); }};
};
