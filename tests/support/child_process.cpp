#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

namespace hvtest {

ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  ProgramResult result;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int out[2];
  if (argv.empty() || pipe2(out, O_CLOEXEC) != 0) return result;
  const pid_t pid = fork();
  if (pid < 0) {
    close(out[0]), close(out[1]);
    return result;
  }
  if (pid == 0) {
    // Ends with the test, should the test die first.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    // The test blocks no signal the program relies on.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;  // the program closed its output: it is ending
    result.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(out[0]);
  int status = 0;
  // A program that closed its output may still run: it too meets the limit.
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline && !result.timedOut) {
      result.timedOut = true;
      kill(pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!result.timedOut && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) {
  if (argv.empty()) return -1;
  const int out = open(options.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int err = options.errPath.empty() ? -1
                                          : open(options.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // Copies made before the fork: the child may only make async-signal-safe calls.
  std::vector<std::string> env = options.env;
  const pid_t parent = getpid();
  const bool opened = out >= 0 && in >= 0 && (options.errPath.empty() || err >= 0);
  const pid_t pid = opened ? fork() : -1;
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent died before the line above
    for (std::string& entry : env) putenv(entry.data());
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err >= 0 ? err : out, STDERR_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  for (const int fd : {out, err, in})
    if (fd >= 0) close(fd);
  return pid;
}

}  // namespace hvtest
