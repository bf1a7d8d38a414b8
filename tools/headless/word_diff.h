// The difference of two texts word by word, bounded in time and memory so
// that no pair of pages, however large or unlike, can hold a report up.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace harvion {

struct WordRun {
  enum class Kind { same, removed, added };
  Kind kind = Kind::same;
  std::size_t start = 0;  // in the old words for same and removed, in the new ones for added
  std::size_t count = 0;
};

struct DiffLimits {
  std::size_t words = 200000;  // per text
  std::size_t edits = 1000;    // words removed and added in all
  std::size_t work = 40000000;  // steps of the search
};

// The shortest runs of same, removed and added words that turn before into
// after (removed before added at each place); nullopt when the texts are
// past a limit, and the difference is then "throughout".
std::optional<std::vector<WordRun>> DiffWords(const std::vector<std::string_view>& before,
                                              const std::vector<std::string_view>& after,
                                              const DiffLimits& limits = {});

}  // namespace harvion
