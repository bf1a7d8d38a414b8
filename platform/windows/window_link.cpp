#include "platform/windows/window_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "harvion/top_level_window.h"
#include "harvion/global_memory.h"
#include "harvion/window_messages.h"
#include "platform/windows/link_frame.h"
#include "platform/windows/message_marshal.h"
#include "platform/windows/runtime_folder.h"
#include "platform/windows/window_directory.h"
#include "platform/windows/window_handle.h"

namespace hv::win {

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
 public:
  explicit Socket(int fd = -1) : m_fd(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (m_fd >= 0) ::close(m_fd);
  }
  int get() const { return m_fd; }

 private:
  int m_fd;
};

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= std::size_t(n);
  }
  return true;
}

// A connection to the process that gave out the handle, checked to be ours.
int ConnectTo(HWND window) {
  const pid_t process = HandleProcess(window);
  if (process == 0) return -1;
  const std::string folder = RuntimeFolder();
  sockaddr_un address{};
  if (folder.empty() || !FillAddress(SocketPath(folder, process), address)) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // A process that ended leaves no listener: the connect fails at once.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || !PeerIsUser(fd, ::geteuid())) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendFrame(int fd, const LinkFrame& frame) {
  const FrameBytes bytes = EncodeFrame(frame);
  return !bytes.empty() && WriteAll(fd, bytes.data(), bytes.size());
}

// Writes the answer to a sent message once, from whichever thread answers;
// closing without an answer tells the sender at once.
class ReplyChannel {
 public:
  ReplyChannel(int fd, std::shared_ptr<std::atomic<int>> pending) : m_fd(fd), m_pending(std::move(pending)) {}
  ReplyChannel(const ReplyChannel&) = delete;
  ReplyChannel& operator=(const ReplyChannel&) = delete;
  ~ReplyChannel() { --*m_pending; }

  void Answer(std::uint64_t window, LRESULT result, std::string payload) {
    if (m_answered.exchange(true)) return;
    LinkFrame frame;
    frame.kind = FrameKind::reply;
    frame.window = window;
    frame.lParam = result;
    frame.payload = std::move(payload);
    // A sender that stopped reading is not waited for: the socket is
    // non-blocking, and one frame (at most a text) fits its buffer.
    const FrameBytes bytes = EncodeFrame(frame);
    (void)::send(m_fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  }

 private:
  Socket m_fd;
  std::shared_ptr<std::atomic<int>> m_pending;
  std::atomic<bool> m_answered{false};
};

std::shared_ptr<std::atomic<int>> PendingSends() {
  static const auto pending = std::make_shared<std::atomic<int>>(0);
  return pending;
}

}  // namespace

std::string SocketPath(const std::string& folder, pid_t process) {
  return folder + "/" + std::to_string(process) + ".sock";
}

bool PeerIsUser(int socket, uid_t user) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials)
    return false;
  return credentials.uid == user;
}

BOOL PostRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LinkFrame frame{FrameKind::posted, HandleValue(window), message, wParam, lParam, {}};
  if (!PackOutgoing(frame, lParam, false)) return 0;
  Socket fd(ConnectTo(window));
  if (fd.get() < 0 || !SendFrame(fd.get(), frame)) return 0;
  // A posted block belongs to the receiver, which has its own copy now.
  if (message == WM_DROPFILES) GlobalFree(reinterpret_cast<HGLOBAL>(wParam));
  return 1;
}

BOOL SendRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam, unsigned timeoutMs, LRESULT& result) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  LinkFrame out{FrameKind::sent, HandleValue(window), message, wParam, lParam, {}};
  if (!PackOutgoing(out, lParam, true)) return 0;
  Socket fd(ConnectTo(window));
  if (fd.get() < 0 || !SendFrame(fd.get(), out)) return 0;
  FrameReader reader;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    pollfd wait{fd.get(), POLLIN, 0};
    const int ready = ::poll(&wait, 1, int(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return 0;
    std::uint8_t bytes[4096];
    const ssize_t n = ::recv(fd.get(), bytes, sizeof bytes, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;  // the target or its process is gone
    std::size_t at = 0;
    while (at < std::size_t(n)) {
      std::size_t used = 0;
      LinkFrame frame;
      const auto got = reader.Feed(bytes + at, std::size_t(n) - at, used, frame);
      at += used;
      if (got == FrameReader::Result::fault) return 0;
      if (got == FrameReader::Result::frame) {
        if (frame.kind != FrameKind::reply || frame.window != HandleValue(window)) return 0;
        result = UnpackReply(window, message, wParam, lParam, frame.lParam, frame.payload);
        return 1;
      }
    }
  }
}

BOOL IsRemoteWindow(HWND window) {
  for (const auto& listed : ListedWindows())
    if (listed.window == window) return 1;
  return 0;
}

struct LinkServer::Connection {
  explicit Connection(int descriptor)
      : fd(descriptor), deadline(Clock::now() + std::chrono::milliseconds(kConnectionMs)) {}
  ~Connection() {
    if (fd >= 0) ::close(fd);
  }
  int fd;
  FrameReader reader;
  int frames = 0;
  Clock::time_point deadline;
};

std::unique_ptr<LinkServer> LinkServer::Start(const std::string& path) {
  sockaddr_un address{};
  if (!FillAddress(path, address)) return nullptr;
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) return nullptr;
  ::unlink(path.c_str());  // left by an earlier process with our number
  int wake[2];
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 16) != 0 || ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    ::close(listener);
    return nullptr;
  }
  ::chmod(path.c_str(), 0600);
  try {
    return std::unique_ptr<LinkServer>(new LinkServer(path, listener, wake[0], wake[1]));
  } catch (...) {
    ::close(listener);
    ::close(wake[0]);
    ::close(wake[1]);
    ::unlink(path.c_str());
    return nullptr;
  }
}

LinkServer::LinkServer(std::string path, int listener, int wakeRead, int wakeWrite)
    : m_path(std::move(path)), m_listener(listener), m_wakeRead(wakeRead), m_wakeWrite(wakeWrite) {
  m_thread = std::thread([this] { Run(); });
}

LinkServer::~LinkServer() {
  const char stop = 1;
  (void)!::write(m_wakeWrite, &stop, 1);
  // A handler that ends the process from the link thread cannot wait for it.
  if (m_thread.get_id() == std::this_thread::get_id())
    m_thread.detach();
  else
    m_thread.join();
  m_connections.clear();
  ::unlink(m_path.c_str());
  ::close(m_listener);
  ::close(m_wakeRead);
  ::close(m_wakeWrite);
}

void LinkServer::Run() {
  std::vector<pollfd> waits;
  for (;;) {
    waits.assign({{m_wakeRead, POLLIN, 0}, {m_listener, POLLIN, 0}});
    for (const auto& connection : m_connections) waits.push_back({connection->fd, POLLIN, 0});
    const int ready = ::poll(waits.data(), waits.size(), m_connections.empty() ? -1 : 250);
    if (ready < 0 && errno != EINTR) return;
    if (waits[0].revents) return;
    // Peers are read in the order they came; each gets at most one buffer
    // per round, so a flooding peer cannot keep the others waiting.
    std::vector<std::unique_ptr<Connection>> kept;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
      auto& connection = m_connections[i];
      const short events = waits[i + 2].revents;
      bool keep = now < connection->deadline;
      if (keep && events) keep = Read(*connection);
      if (keep) kept.push_back(std::move(connection));
    }
    m_connections = std::move(kept);
    if (waits[1].revents) Accept();
  }
}

void LinkServer::Accept() {
  for (;;) {
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    // Only the same user is served; beyond the limit a peer is closed at
    // once rather than queued.
    if (m_connections.size() >= kConnections || !PeerIsUser(fd, ::geteuid())) {
      ::close(fd);
      continue;
    }
    try {
      m_connections.push_back(std::make_unique<Connection>(fd));
    } catch (...) {
      ::close(fd);
      return;
    }
  }
}

bool LinkServer::Read(Connection& connection) {
  std::uint8_t bytes[4096];
  const ssize_t n = ::recv(connection.fd, bytes, sizeof bytes, 0);
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  if (n == 0) return false;
  std::size_t at = 0;
  while (at < std::size_t(n)) {
    std::size_t used = 0;
    LinkFrame frame;
    const auto got = connection.reader.Feed(bytes + at, std::size_t(n) - at, used, frame);
    at += used;
    if (got == FrameReader::Result::fault) return false;
    if (got == FrameReader::Result::needMore) continue;
    if (++connection.frames > kFramesPerConnection) return false;
    const HWND window = reinterpret_cast<HWND>(frame.window);
    auto incoming = std::make_shared<IncomingMessage>();
    if (frame.kind == FrameKind::reply || !incoming->Unpack(frame)) return false;
    if (frame.kind == FrameKind::posted) {
      if (!DeliverPosted(window, frame.message, incoming->wParam(), incoming->lParam())) incoming->Discard();
      continue;
    }
    // A sent message ends the connection's part here: the answer goes back
    // on it, from whichever thread the target answers.
    if (frame.kind != FrameKind::sent || at != std::size_t(n)) return false;
    const auto pending = PendingSends();
    if (++*pending > kPendingSends) {
      --*pending;
      return false;
    }
    auto channel = std::make_shared<ReplyChannel>(connection.fd, pending);
    connection.fd = -1;
    // The receiver's copy of a text lives until the answer.
    DeliverSent(window, frame.message, incoming->wParam(), incoming->lParam(),
                [channel, incoming, value = frame.window](LRESULT result) {
                  channel->Answer(value, result, incoming->ReplyPayload(result));
                });
    return false;
  }
  return true;
}

}  // namespace hv::win
