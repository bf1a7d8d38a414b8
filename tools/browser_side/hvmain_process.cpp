#include "hvmain_process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

extern char** environ;

namespace hvside {

struct ChildProcess::Status {
  std::mutex mutex;
  std::optional<int> exitCode;
};

std::string HvmainProgram() {
  if (const char* chosen = std::getenv("HARVION_HVMAIN"); chosen && *chosen) return chosen;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto beside = self.parent_path() / "hvmain";
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
  return "hvmain";
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments, std::string& error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int failed = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (failed) {
    error = "cannot start " + program + ": " + std::strerror(failed);
    return nullptr;
  }
  auto status = std::make_shared<Status>();
  std::thread([pid, status] {
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(status->mutex);
    status->exitCode = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }).detach();
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, std::move(status)));
}

std::optional<int> ChildProcess::ExitCode() const {
  std::lock_guard lock(m_status->mutex);
  return m_status->exitCode;
}

}  // namespace hvside
