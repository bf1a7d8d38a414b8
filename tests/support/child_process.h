// Child processes for tests and benchmarks: a program run to its end with
// its output captured and its time bounded, or one started in the
// background (a server) with its output in files. Neither outlives the
// process that started it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace hvtest {

struct ProgramResult {
  int status = -1;      // the exit status; -1 when it did not exit normally
  bool timedOut = false;  // killed at the limit
  std::string output;   // standard output and error, interleaved
};

// argv[0] is the program's path. The environment is the test's.
ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

struct SpawnOptions {
  std::string outPath;             // standard output (and error, without errPath)
  std::string errPath;             // standard error; empty: with the output
  std::vector<std::string> env;    // "NAME=value" added to the environment
};
// Starts argv[0] in the background with standard input from /dev/null; the
// child gets SIGTERM should this process die first. Its pid, or -1.
pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options);

}  // namespace hvtest
