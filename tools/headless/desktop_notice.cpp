#include "desktop_notice.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace harvion {

namespace {

constexpr unsigned kClickWaitSeconds = 3600;

// The program's path in $PATH; empty when there is none.
std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      const std::string file = dir + "/" + name;
      if (::access(file.c_str(), X_OK) == 0) return file;
    }
    start = end + 1;
  }
  return {};
}

void NoOp(int) {}

// Everything below runs in forked children of a program with threads: only
// calls that are safe there, on data made before the fork.
struct Plan {
  std::vector<char*> withAction;
  std::vector<char*> plain;
  std::vector<char*> open;
  const char* notifySend;
  const char* xdgOpen;  // may be empty
};

pid_t StartChild(const char* program, char* const* argv, int out) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, 0);
  ::dup2(out >= 0 ? out : null, 1);
  ::dup2(null, 2);
  if (out > 2) ::close(out);
  if (null > 2) ::close(null);
  ::execve(program, argv, environ);
  ::_exit(127);
}

[[noreturn]] void WaitForClick(const Plan& plan) {
  // Nothing of the parent's stays open here: no lock, no pipe of a caller.
  ::syscall(SYS_close_range, 3U, ~0U, 0U);
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, 0);
  ::dup2(null, 1);
  ::dup2(null, 2);
  if (null > 2) ::close(null);
  struct sigaction alarmAction {};
  alarmAction.sa_handler = NoOp;  // no SA_RESTART: the read below ends
  ::sigaction(SIGALRM, &alarmAction, nullptr);
  ::alarm(kClickWaitSeconds);

  int pipe[2];
  if (::pipe(pipe) != 0) ::_exit(0);
  const pid_t sender = StartChild(plan.notifySend, plan.withAction.data(), pipe[1]);
  ::close(pipe[1]);
  char answer[64];
  std::size_t got = 0;
  bool timedOut = false;
  // One line names the action taken; a notify-send that lingers after it
  // has said all there is to hear.
  bool answered = false;
  for (;;) {
    const ssize_t n = ::read(pipe[0], answer + got, sizeof answer - 1 - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
      answered = std::memchr(answer, '\n', got) != nullptr;
      if (!answered && got < sizeof answer - 1) continue;
    }
    if (n < 0 && errno == EINTR) timedOut = true;
    break;
  }
  if (timedOut || answered) ::kill(sender, SIGTERM);
  int status = 0;
  while (::waitpid(sender, &status, 0) < 0 && errno == EINTR) {
  }
  answer[got] = '\0';
  if (std::strncmp(answer, "default", 7) == 0 && plan.xdgOpen[0]) {
    ::execve(plan.xdgOpen, plan.open.data(), environ);
  } else if (!timedOut && got == 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    // An older notify-send without actions: the notice without the click.
    const pid_t again = StartChild(plan.notifySend, plan.plain.data(), -1);
    while (again > 0 && ::waitpid(again, &status, 0) < 0 && errno == EINTR) {
    }
  }
  ::_exit(0);
}

}  // namespace

bool HasSessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info {};
  return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

bool SendDesktopNotice(const ChangeNotice& notice) {
  if (!HasSessionBus()) return false;
  const std::string notifySend = FindProgram("notify-send");
  if (notifySend.empty()) return false;
  const std::string xdgOpen = FindProgram("xdg-open");

  std::string appName = "--app-name=Harvion", action = "--action=default=Open the report";
  std::string summary = notice.Summary().substr(0, notice.Summary().find('\0'));
  std::string body = notice.Body();
  std::string report = notice.report.substr(0, notice.report.find('\0'));
  std::string name = "notify-send", open = "xdg-open", endOfOptions = "--";
  Plan plan;
  plan.withAction = {name.data(), appName.data(), action.data(), endOfOptions.data(), summary.data(), body.data(),
                     nullptr};
  plan.plain = {name.data(), appName.data(), endOfOptions.data(), summary.data(), body.data(), nullptr};
  plan.open = {open.data(), report.data(), nullptr};
  plan.notifySend = notifySend.c_str();
  plan.xdgOpen = xdgOpen.c_str();

  // Twice forked: the process that waits for the click belongs to no one,
  // and the caller waits only for the first fork.
  const pid_t first = ::fork();
  if (first < 0) return false;
  if (first == 0) {
    ::setsid();
    if (::fork() == 0) WaitForClick(plan);
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(first, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace harvion
