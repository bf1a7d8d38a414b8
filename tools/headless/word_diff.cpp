#include "word_diff.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace harvion {

namespace {

// A word's hash, so that the search compares numbers and looks at the
// bytes only where the numbers agree.
std::uint64_t Hash(std::string_view word) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : word) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  return hash;
}

struct Words {
  const std::string_view* text;
  const std::uint64_t* hash;
};

bool Same(const Words& a, std::ptrdiff_t x, const Words& b, std::ptrdiff_t y) {
  return a.hash[x] == b.hash[y] && a.text[x] == b.text[y];
}

// Appends a run, joining it to the last one of the same kind.
void Add(std::vector<WordRun>& runs, WordRun::Kind kind, std::size_t start, std::size_t count) {
  if (count == 0) return;
  if (!runs.empty() && runs.back().kind == kind && runs.back().start + runs.back().count == start) {
    runs.back().count += count;
    return;
  }
  runs.push_back({kind, start, count});
}

// The greedy search for the fewest edits (Myers, 1986) between a and b,
// which share no first and no last word. Each round's furthest points are
// kept to trace the path back. False past a limit.
bool Search(const Words& a, std::ptrdiff_t n, const Words& b, std::ptrdiff_t m, std::size_t offA,
            std::size_t offB, const DiffLimits& limits, std::vector<WordRun>& out) {
  const std::ptrdiff_t maxD = std::min<std::ptrdiff_t>(n + m, static_cast<std::ptrdiff_t>(limits.edits));
  std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * maxD + 3), 0);
  const std::ptrdiff_t mid = maxD + 1;  // v[mid + k] is diagonal k's furthest x
  std::vector<std::vector<std::ptrdiff_t>> trace;
  std::size_t work = 0;
  std::ptrdiff_t found = -1;
  for (std::ptrdiff_t d = 0; d <= maxD && found < 0; ++d) {
    for (std::ptrdiff_t k = -d; k <= d; k += 2) {
      std::ptrdiff_t x = (k == -d || (k != d && v[mid + k - 1] < v[mid + k + 1])) ? v[mid + k + 1]
                                                                                  : v[mid + k - 1] + 1;
      std::ptrdiff_t y = x - k;
      const std::ptrdiff_t snakeStart = x;
      while (x < n && y < m && Same(a, x, b, y)) ++x, ++y;
      work += 1 + static_cast<std::size_t>(x - snakeStart);
      v[mid + k] = x;
      if (x >= n && y >= m) found = d;
    }
    trace.emplace_back(v.begin() + (mid - d), v.begin() + (mid + d + 1));
    if (work > limits.work) return false;
  }
  if (found < 0) return false;

  // Back from the end, one edit per round; the runs come out in reverse.
  std::vector<WordRun> reversed;
  std::ptrdiff_t x = n, y = m;
  for (std::ptrdiff_t d = found; d > 0; --d) {
    const std::vector<std::ptrdiff_t>& prev = trace[static_cast<std::size_t>(d - 1)];
    const auto at = [&prev, d](std::ptrdiff_t k) { return prev[static_cast<std::size_t>(k + d - 1)]; };
    const std::ptrdiff_t k = x - y;
    const bool down = k == -d || (k != d && at(k - 1) < at(k + 1));
    const std::ptrdiff_t prevK = down ? k + 1 : k - 1;
    const std::ptrdiff_t prevX = at(prevK);
    const std::ptrdiff_t prevY = prevX - prevK;
    const std::ptrdiff_t snakeX = down ? prevX : prevX + 1;
    reversed.push_back({WordRun::Kind::same, offA + static_cast<std::size_t>(snakeX),
                        static_cast<std::size_t>(x - snakeX)});
    if (down)
      reversed.push_back({WordRun::Kind::added, offB + static_cast<std::size_t>(prevY), 1});
    else
      reversed.push_back({WordRun::Kind::removed, offA + static_cast<std::size_t>(prevX), 1});
    x = prevX;
    y = prevY;
  }
  reversed.push_back({WordRun::Kind::same, offA, static_cast<std::size_t>(x)});

  // Forward, with the removed words of each place ahead of the added ones.
  std::vector<WordRun> removed, added;
  const auto flush = [&] {
    for (const WordRun& run : removed) Add(out, run.kind, run.start, run.count);
    for (const WordRun& run : added) Add(out, run.kind, run.start, run.count);
    removed.clear();
    added.clear();
  };
  for (auto run = reversed.rbegin(); run != reversed.rend(); ++run) {
    if (run->count == 0) continue;
    if (run->kind == WordRun::Kind::same) {
      flush();
      Add(out, run->kind, run->start, run->count);
    } else {
      Add(run->kind == WordRun::Kind::removed ? removed : added, run->kind, run->start, run->count);
    }
  }
  flush();
  return true;
}

}  // namespace

std::optional<std::vector<WordRun>> DiffWords(const std::vector<std::string_view>& before,
                                              const std::vector<std::string_view>& after,
                                              const DiffLimits& limits) {
  if (before.size() > limits.words || after.size() > limits.words) return std::nullopt;
  std::size_t head = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
  std::size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
    ++tail;
  std::vector<WordRun> runs;
  Add(runs, WordRun::Kind::same, 0, head);
  const auto n = static_cast<std::ptrdiff_t>(before.size() - head - tail);
  const auto m = static_cast<std::ptrdiff_t>(after.size() - head - tail);
  if (static_cast<std::size_t>(n + m) > 0) {
    if (n == 0 || m == 0) {
      if (static_cast<std::size_t>(n + m) > limits.edits) return std::nullopt;
      Add(runs, WordRun::Kind::removed, head, static_cast<std::size_t>(n));
      Add(runs, WordRun::Kind::added, head, static_cast<std::size_t>(m));
    } else {
      std::vector<std::uint64_t> hashA, hashB;
      hashA.reserve(static_cast<std::size_t>(n));
      hashB.reserve(static_cast<std::size_t>(m));
      for (std::ptrdiff_t i = 0; i < n; ++i) hashA.push_back(Hash(before[head + static_cast<std::size_t>(i)]));
      for (std::ptrdiff_t i = 0; i < m; ++i) hashB.push_back(Hash(after[head + static_cast<std::size_t>(i)]));
      const Words a{before.data() + head, hashA.data()}, b{after.data() + head, hashB.data()};
      if (!Search(a, n, b, m, head, head, limits, runs)) return std::nullopt;
    }
  }
  Add(runs, WordRun::Kind::same, before.size() - tail, tail);
  return runs;
}

}  // namespace harvion
