// A command-line tool run to its end by a benchmark, measured as its parent
// sees it (wait4): wall time, user + system processor time, peak resident
// memory.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace bench {

struct Measure {
  bool ok = false;
  int exitCode = -1;
  double wall = 0;
  double cpu = 0;
  double peakMb = 0;
  long requests = 0;  // filled in by benchmarks that count them
  double mbytes = 0;
};

// Runs a program with its output in the file out and the environment changed
// by env ("NAME=value"); the child dies with this process.
inline Measure RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env,
                       const std::string& out) {
  Measure m;
  hvtest::SpawnOptions spawn;
  spawn.outPath = out;
  spawn.env = env;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = hvtest::Spawn(args, spawn);
  if (pid < 0) return m;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) return m;
  m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
  m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  m.ok = m.exitCode == 0;
  return m;
}

}  // namespace bench
