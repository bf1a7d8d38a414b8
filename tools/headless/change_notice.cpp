#include "change_notice.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "harvion/settings.h"

extern char** environ;

namespace harvion {

namespace {

constexpr const char* kNames[] = {"HARVION_AGENT", "HARVION_NEW",    "HARVION_MODIFIED", "HARVION_GONE",
                                  "HARVION_FAILED", "HARVION_REPORT", "HARVION_CONTENTS"};

// The text up to a zero byte, which an environment cannot hold.
std::string EnvironmentValue(const std::string& text) { return text.substr(0, text.find('\0')); }

bool IsOurs(const char* entry) {
  for (const char* name : kNames) {
    const std::size_t length = std::strlen(name);
    if (std::strncmp(entry, name, length) == 0 && entry[length] == '=') return true;
  }
  return false;
}

// Waits for the child until the deadline; true when it ended (status set).
bool WaitUntil(pid_t pid, int& status, std::chrono::steady_clock::time_point deadline) {
  const long pidfd = ::syscall(SYS_pidfd_open, pid, 0);
  for (;;) {
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) {
      if (pidfd >= 0) ::close(static_cast<int>(pidfd));
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (pidfd >= 0) {
      pollfd watch{static_cast<int>(pidfd), POLLIN, 0};
      ::poll(&watch, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    } else {
      // Kernels before 5.3 have no process descriptors: look again shortly.
      std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(20)));
    }
  }
  if (pidfd >= 0) ::close(static_cast<int>(pidfd));
  return false;
}

}  // namespace

ChangeNotice ChangeNotice::Of(const std::string& agent, const ChangeReport& report, const std::string& reportPath,
                              const std::string& contentsPath) {
  ChangeNotice notice;
  notice.agent = agent;
  notice.added = report.added.size();
  notice.modified = report.modified.size();
  notice.gone = report.gone.size();
  notice.failed = report.failed.size();
  notice.report = reportPath;
  notice.contents = contentsPath;
  return notice;
}

std::string ChangeNotice::Summary() const { return "Harvion: " + agent + " changed"; }

std::string ChangeNotice::Body() const {
  return std::to_string(added) + " new, " + std::to_string(modified) + " modified, " + std::to_string(gone) +
         " gone, " + std::to_string(failed) + " failed";
}

std::vector<std::string> ChangeNotice::Environment() const {
  const std::string values[] = {agent,
                                std::to_string(added),
                                std::to_string(modified),
                                std::to_string(gone),
                                std::to_string(failed),
                                report,
                                contents};
  std::vector<std::string> entries;
  for (std::size_t i = 0; i < std::size(kNames); ++i)
    entries.push_back(std::string(kNames[i]) + "=" + EnvironmentValue(values[i]));
  return entries;
}

std::string OnChangeCommand() {
  for (const CEngineSettings::Item& item : CEngineSettings::List())
    if (item.name == "on-change") return item.value;
  return {};
}

std::string RunChangeCommand(const std::string& command, const ChangeNotice& notice, std::chrono::milliseconds limit) {
  // The environment is ours, with the notice's values in place of any the
  // caller had under the same names.
  std::vector<std::string> added = notice.Environment();
  std::vector<char*> environment;
  for (char** entry = environ; entry && *entry; ++entry)
    if (!IsOurs(*entry)) environment.push_back(*entry);
  for (std::string& entry : added) environment.push_back(entry.data());
  environment.push_back(nullptr);
  std::string commandLine = EnvironmentValue(command);
  char shell[] = "/bin/sh", dashC[] = "-c";
  char* argv[] = {shell, dashC, commandLine.data(), nullptr};

  posix_spawn_file_actions_t files;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&files);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&files, 2, 1);
  // Nothing of ours stays open in it: no lock outlives us through the command.
  posix_spawn_file_actions_addclosefrom_np(&files, 3);
  // Its own process group, so that stopping it stops what it started; the
  // signals we ignore or block are the command's to have.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, shell, &files, &attributes, argv, environment.data());
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return std::string("the on-change command could not start: ") + std::strerror(spawned);

  int status = 0;
  if (!WaitUntil(pid, status, std::chrono::steady_clock::now() + limit)) {
    ::kill(-pid, SIGTERM);
    if (!WaitUntil(pid, status, std::chrono::steady_clock::now() + std::chrono::seconds(2))) {
      ::kill(-pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
    return "the on-change command did not end within " + std::to_string(seconds) +
           (seconds == 1 ? " second" : " seconds") + " and was stopped";
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFEXITED(status)) return "the on-change command failed with exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return std::string("the on-change command was ended by signal ") + ::strsignal(WTERMSIG(status));
  return "the on-change command ended abnormally";
}

std::string RunOnChangeCommand(const ChangeNotice& notice) {
  if (!notice.Any()) return {};
  const std::string command = OnChangeCommand();
  return command.empty() ? std::string() : RunChangeCommand(command, notice);
}

}  // namespace harvion
