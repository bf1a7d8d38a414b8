#include "terminal_prompt.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "display_text.h"
#include "harvion/dialogs.h"

namespace harvion {

namespace {

constexpr char kCancel = '\x03';         // Ctrl-C, read as a key while we ask
constexpr std::size_t kMaxAnswer = 4096;  // longer answers are cut, not buffered without end
constexpr int kWithdrawnCheckMs = 200;    // a stopped run closes the prompt this soon

std::atomic<bool> g_promptOpen{false};

class PromptOpen {
 public:
  PromptOpen() { g_promptOpen.store(true); }
  ~PromptOpen() { g_promptOpen.store(false); }
  PromptOpen(const PromptOpen&) = delete;
  PromptOpen& operator=(const PromptOpen&) = delete;
};

class Terminal {
 public:
  Terminal() : m_fd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~Terminal() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }

  void Write(std::string_view text) const {
    while (!text.empty()) {
      const ssize_t n = ::write(m_fd, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      text.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  // One line without its end; none on Ctrl-C, end of input, an error or
  // once the question is withdrawn (looked at between keys).
  std::optional<std::string> ReadLine(const std::shared_ptr<const std::atomic<bool>>& withdrawn) const {
    std::string line;
    while (true) {
      if (withdrawn && *withdrawn) return std::nullopt;
      pollfd ready{m_fd, POLLIN, 0};
      const int polled = ::poll(&ready, 1, kWithdrawnCheckMs);
      if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
      if (polled < 0) return std::nullopt;
      char c = 0;
      const ssize_t n = ::read(m_fd, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || c == kCancel) return std::nullopt;
      if (c == '\n') return line;
      if (line.size() < kMaxAnswer) line += c;
    }
  }

 private:
  int m_fd;
};

// The terminal's modes while one answer is typed, restored however the
// answer ends. Ctrl-C ends the line as a key instead of a signal, so the
// program is never killed with echo left off.
class AnswerMode {
 public:
  AnswerMode(int fd, bool echo) : m_fd(fd), m_saved(), m_changed(::tcgetattr(fd, &m_saved) == 0) {
    if (!m_changed) return;
    termios mode = m_saved;
    mode.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    if (!echo) mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    mode.c_cc[VEOL] = static_cast<cc_t>(kCancel);
    m_changed = ::tcsetattr(fd, TCSAFLUSH, &mode) == 0;
  }
  ~AnswerMode() {
    if (m_changed) ::tcsetattr(m_fd, TCSAFLUSH, &m_saved);
  }
  AnswerMode(const AnswerMode&) = delete;
  AnswerMode& operator=(const AnswerMode&) = delete;

 private:
  int m_fd;
  termios m_saved;
  bool m_changed;
};

bool AskOnTerminal(CredentialsRequest& request) {
  // Workers may ask for several realms at once: one question at a time.
  static std::mutex terminalMutex;
  std::lock_guard lock(terminalMutex);
  const Terminal terminal;
  if (!terminal.IsOpen()) return false;
  const PromptOpen open;
  // The realm and the address come from a server: shown escaped.
  terminal.Write("\a\nAuthentication required for " + Quoted(request.realm) + "\nat " + Printable(request.url) +
                 "\n(Ctrl-C cancels)\n");
  terminal.Write(request.user.empty() ? std::string("User name: ") : "User name [" + Printable(request.user) + "]: ");
  std::optional<std::string> user;
  {
    const AnswerMode mode(terminal.Fd(), true);
    user = terminal.ReadLine(request.withdrawn);
  }
  if (!user) {
    terminal.Write("\n");
    return false;
  }
  terminal.Write("Password: ");
  std::optional<std::string> password;
  {
    const AnswerMode mode(terminal.Fd(), false);
    password = terminal.ReadLine(request.withdrawn);
  }
  terminal.Write("\n");
  if (!password) return false;
  if (!user->empty()) request.user = *user;
  request.password = *password;
  return true;
}

}  // namespace

void InstallTerminalPrompt() {
  if (::isatty(STDIN_FILENO)) SetCredentialsPrompt(AskOnTerminal);
}

bool TerminalPromptOpen() { return g_promptOpen.load(); }

}  // namespace harvion
