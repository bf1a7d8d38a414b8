// Messages to windows of other processes of the same user: one Unix socket
// per process in the runtime folder, one connection per message. The
// receiving side reads every peer with bounded buffers on one thread, so a
// peer that sends garbage or floods is cut off and the others go on.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "harvion/message_target.h"

namespace hv::win {

// The socket through which a process receives its windows' messages.
std::string SocketPath(const std::string& folder, pid_t process);

// Whether the peer on a connected Unix socket runs as the given user.
bool PeerIsUser(int socket, uid_t user);

BOOL PostRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SendRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam, unsigned timeoutMs, LRESULT& result);
BOOL IsRemoteWindow(HWND window);

// The receiving end: listens on the socket until destroyed, then removes it.
class LinkServer {
 public:
  // Limits per peer: a connection serves at most kFramesPerConnection
  // messages and lives at most kConnectionMs; at most kConnections are read at
  // once and kPendingSends sent messages wait for answers.
  static constexpr int kFramesPerConnection = 64;
  static constexpr int kConnectionMs = 3000;
  static constexpr std::size_t kConnections = 32;
  static constexpr int kPendingSends = 32;

  // Null when the socket cannot be made.
  static std::unique_ptr<LinkServer> Start(const std::string& path);
  ~LinkServer();
  LinkServer(const LinkServer&) = delete;
  LinkServer& operator=(const LinkServer&) = delete;

  const std::string& Path() const { return m_path; }

 private:
  struct Connection;
  LinkServer(std::string path, int listener, int wakeRead, int wakeWrite);
  void Run();
  void Accept();
  // False when the connection is done with (cut off, ended, or handed to a reply).
  bool Read(Connection& connection);

  std::string m_path;
  int m_listener;
  int m_wakeRead, m_wakeWrite;
  std::vector<std::unique_ptr<Connection>> m_connections;
  std::thread m_thread;
};

}  // namespace hv::win
