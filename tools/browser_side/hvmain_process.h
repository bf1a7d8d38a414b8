// Starting hvmain for a browser window and hearing when it ends.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hvside {

// $HARVION_HVMAIN, else hvmain beside the running program when there is one,
// else "hvmain" (found on PATH).
std::string HvmainProgram();

// A started program, reaped by a thread of its own so it never lingers as a
// zombie; the program goes on when this object is destroyed.
class ChildProcess {
 public:
  // Null with the reason in error when the program cannot be started.
  static std::unique_ptr<ChildProcess> Start(const std::string& program, const std::vector<std::string>& arguments,
                                             std::string& error);
  pid_t Pid() const { return m_pid; }
  // The exit status once it ended (128 + signal when killed).
  std::optional<int> ExitCode() const;

 private:
  struct Status;
  ChildProcess(pid_t pid, std::shared_ptr<Status> status) : m_pid(pid), m_status(std::move(status)) {}
  pid_t m_pid;
  std::shared_ptr<Status> m_status;
};

}  // namespace hvside
