// Runs one of our programs as a child process for a test: its output
// captured, its time bounded, never outliving the test.
#pragma once

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

}  // namespace hvtest
