// A loopback TCP server for transport tests: every connection it accepts
// runs the same script of steps (read the request, send bytes, wait for the
// test, close or reset), on a thread of its own so several clients may be
// served at once. The destructor ends every connection and joins.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/threads/event.h"

namespace hv::test {

class ScriptServer {
 public:
  struct Step {
    enum Kind { readRequest, send, waitRelease, close, reset, sendForever, trickle, waitRequests } kind;
    std::string bytes;                 // send: the bytes; sendForever: the first bytes
    std::vector<std::size_t> splitAt;  // send: offsets where a new send starts
    bool paced = false;                // send: each piece once the peer has read the one before
    std::chrono::milliseconds interval{0};  // trickle: the pause before each piece
    std::size_t piece = 1;                  // trickle: bytes per piece; waitRequests: how many
    bool endless = false;                   // trickle: filler pieces after the bytes
  };
  using Script = std::vector<Step>;

  // Reads until the blank line ending a request and records the bytes.
  static Step ReadRequest() { return {Step::readRequest, {}, {}}; }
  // Sends the bytes, one send per piece between the offsets.
  static Step Send(std::string bytes, std::vector<std::size_t> splitAt = {}) {
    return {Step::send, std::move(bytes), std::move(splitAt)};
  }
  // As Send, but each piece leaves only once the peer has read the piece
  // before, so every piece reaches it as a receive of its own.
  static Step SendPaced(std::string bytes, std::vector<std::size_t> splitAt) {
    return {Step::send, std::move(bytes), std::move(splitAt), true};
  }
  // Waits until the test calls Release (or the server ends).
  static Step WaitRelease() { return {Step::waitRelease, {}, {}}; }
  // Waits (a while at most) until count requests have been read on all
  // connections: orders answers when the order of connections is not sure.
  static Step WaitForRequests(std::size_t count) { return {Step::waitRequests, {}, {}, false, {}, count}; }
  // Ends the sending side and reads until the peer closes too.
  static Step Close() { return {Step::close, {}, {}}; }
  // Closes with a reset.
  static Step Reset() { return {Step::reset, {}, {}}; }
  // Sends the bytes, then header lines without end until the peer goes away.
  static Step SendForever(std::string first) { return {Step::sendForever, std::move(first), {}}; }
  // A slow server: the bytes a piece at a time, each after a pause; endless
  // goes on with pieces of filler until the peer goes away.
  static Step Trickle(std::string bytes, std::chrono::milliseconds interval, std::size_t piece, bool endless) {
    return {Step::trickle, std::move(bytes), {}, false, interval, piece, endless};
  }

  explicit ScriptServer(Script script);
  // Connection n runs scripts[n]; every connection after the last script
  // runs the last one (or the one SetScript gives).
  struct PerConnection {};
  ScriptServer(PerConnection, std::vector<Script> scripts);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  std::uint16_t Port() const { return m_port; }
  // "http://127.0.0.1:port" followed by path.
  std::string Url(const std::string& path) const;
  // Connections accepted from now on run this script instead.
  void SetScript(Script script);
  // Lets every connection waiting in WaitRelease go on, now and later.
  void Release() { m_release.SetEvent(); }
  // The requests read so far, in the order they were completed.
  std::vector<std::string> Requests();
  // Waits (a while at most) until count requests have been read.
  bool WaitRequests(std::size_t count);
  int Connections();
  // Waits (a while at most) until count connections have been accepted.
  bool WaitConnections(int count);

 private:
  struct Connection {
    int fd;
    std::thread thread;
  };
  void AcceptLoop();
  void Serve(std::size_t index);
  bool RunStep(std::size_t index, int fd, const Step& step);
  // Closes the connection's socket once, under the lock, so that a stop
  // never shuts down a number the system has given out again.
  void CloseConnection(std::size_t index, bool hard);

  int m_listenFd = -1;
  int m_wakeFds[2] = {-1, -1};  // a byte on the pipe ends the accept loop
  std::uint16_t m_port = 0;
  CEvent m_release;
  std::mutex m_mutex;  // guards everything below
  Script m_script;
  std::vector<Script> m_firstScripts;  // of the first connections, in order
  bool m_bStopping = false;
  std::vector<Connection> m_connections;
  std::vector<std::string> m_requests;
  std::condition_variable m_requestRead;  // also told of each connection accepted
  std::thread m_acceptThread;
};

// A local port where connections fail: refused (bound, never listening, so
// no one else takes it) or never answered (listening with its queue full,
// so a connect waits until its time-out).
class DeadPort {
 public:
  enum Kind { refusing, unanswered };
  explicit DeadPort(Kind kind);
  ~DeadPort();
  DeadPort(const DeadPort&) = delete;
  DeadPort& operator=(const DeadPort&) = delete;
  std::uint16_t Port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_fillerFd = -1;  // the connection that fills the queue
  std::uint16_t m_port = 0;
};

}  // namespace hv::test
