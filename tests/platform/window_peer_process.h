// The test peer (hvwindowpeer) as a child process in a runtime folder of the
// test's own, ended with the test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace hv::test {

// Points XDG_RUNTIME_DIR at a fresh folder while it lives.
class RuntimeDir {
 public:
  RuntimeDir() {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) m_old = old, m_hadOld = true;
    ::setenv("XDG_RUNTIME_DIR", m_folder.path().c_str(), 1);
  }
  ~RuntimeDir() {
    if (m_hadOld)
      ::setenv("XDG_RUNTIME_DIR", m_old.c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
  }
  const TempFolder& folder() const { return m_folder; }

 private:
  TempFolder m_folder;
  std::string m_old;
  bool m_hadOld = false;
};

class WindowPeer {
 public:
  // Waits until the peer listed its window, at most ten seconds.
  WindowPeer(const std::string& className, const std::string& title) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(out[1], 1);
      ::execl(HV_WINDOW_PEER, HV_WINDOW_PEER, className.c_str(), title.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    pollfd wait{out[0], POLLIN, 0};
    char line[6] = {};
    m_ready = ::poll(&wait, 1, 10000) == 1 && ::read(out[0], line, 6) == 6 && std::string(line, 6) == "ready\n";
    ::close(out[0]);
  }
  ~WindowPeer() { Kill(); }

  bool ready() const { return m_ready; }
  pid_t pid() const { return m_pid; }
  // The exit status once the peer ended by itself; -1 otherwise.
  int Wait() {
    int status = 0;
    if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid) return -1;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  bool m_ready = false;
};

}  // namespace hv::test
