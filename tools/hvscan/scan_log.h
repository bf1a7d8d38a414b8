// The scheduler's log: one line per run, appended to a file that never grows
// past a limit; when a line would take it past, the older half goes.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

namespace hvscan {

class ScanLog {
 public:
  static constexpr std::size_t kDefaultLimit = 1024 * 1024;

  explicit ScanLog(std::string path, std::size_t limit = kDefaultLimit);

  // Appends the line with the local time in front and a line end after.
  // Failures are ignored: a full disk must not stop the runs.
  void Write(const std::string& line);
  // As Write, with the time given (seconds since 1970).
  void Write(const std::string& line, long when);

  const std::string& Path() const { return m_path; }
  // Each line is also written there (a terminal watching the scheduler).
  void EchoTo(std::ostream* out) { m_echo = out; }

 private:
  void DropOlderHalf(std::size_t incoming);

  std::string m_path;
  std::size_t m_limit;
  std::ostream* m_echo = nullptr;
};

// "2026-12-08 23:15:02 +0100": local time with its offset, so lines stay in
// order across a clock change.
std::string LogTime(long when);

}  // namespace hvscan
