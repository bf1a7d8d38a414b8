// Wall and processor time of a stretch of a benchmark. On a machine shared
// with other work the processor time is the steadier figure; far more wall
// than processor time means waiting, for the disk above all.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace bench {

struct Seconds {
  double wall = 0;
  double cpu = 0;  // user and system time of the process
};

class Stopwatch {
 public:
  Seconds Elapsed() const {
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - m_wall).count(),
            static_cast<double>(std::clock() - m_cpu) / CLOCKS_PER_SEC};
  }

 private:
  std::chrono::steady_clock::time_point m_wall = std::chrono::steady_clock::now();
  std::clock_t m_cpu = std::clock();
};

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace bench
