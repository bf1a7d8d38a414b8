#include "interrupt_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace harvion {

namespace {

constexpr char kInterrupt = 'i';
constexpr char kQuit = 'q';

std::atomic<int> g_writeEnd{-1};
volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_previous {};

void OnInterrupt(int) {
  g_interrupted = 1;
  const int fd = g_writeEnd.load();
  if (fd >= 0) {
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = write(fd, &kInterrupt, 1);
    errno = saved;
  }
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> action) : m_action(std::move(action)) {
  if (pipe2(m_pipe, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  g_interrupted = 0;
  g_writeEnd.store(m_pipe[1]);
  struct sigaction handler {};
  handler.sa_handler = OnInterrupt;
  sigemptyset(&handler.sa_mask);
  // The second Ctrl-C finds the default action again.
  handler.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &handler, &g_previous);
  m_thread = std::thread([this] { Watch(); });
}

InterruptWatch::~InterruptWatch() {
  sigaction(SIGINT, &g_previous, nullptr);
  [[maybe_unused]] const ssize_t written = write(m_pipe[1], &kQuit, 1);
  m_thread.join();
  g_writeEnd.store(-1);
  close(m_pipe[0]);
  close(m_pipe[1]);
}

bool InterruptWatch::Interrupted() { return g_interrupted != 0; }

void InterruptWatch::Watch() {
  char byte = 0;
  bool acted = false;
  for (;;) {
    const ssize_t got = read(m_pipe[0], &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || byte == kQuit) return;
    if (!acted) m_action();
    acted = true;
  }
}

}  // namespace harvion
