#include "nearest_word.h"

#include <algorithm>

namespace harvion {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b) {
  // Three rows of the table suffice: a swap looks two rows back.
  std::vector<std::size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) last[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const bool same = Lower(a[i - 1]) == Lower(b[j - 1]);
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) && Lower(a[i - 2]) == Lower(b[j - 1]))
        row[j] = std::min(row[j], before[j - 2] + 1);
    }
    std::swap(before, last);
    std::swap(last, row);
  }
  return last[b.size()];
}

std::string NearestWord(std::string_view word, const std::vector<std::string_view>& candidates) {
  // Longer words bear one more slip; a guess farther off misleads more than it helps.
  const std::size_t allowed = word.size() <= 4 ? 1 : 2;
  std::string_view best;
  std::size_t bestDistance = allowed + 1;
  bool tie = false;
  for (std::string_view candidate : candidates) {
    const std::size_t distance = EditDistance(word, candidate);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
      tie = false;
    } else if (distance == bestDistance && candidate != best) {
      tie = true;
    }
  }
  return bestDistance <= allowed && !tie ? std::string(best) : std::string();
}

std::string DidYouMean(std::string_view word, const std::vector<std::string_view>& candidates) {
  const std::string nearest = NearestWord(word, candidates);
  return nearest.empty() ? std::string() : " (did you mean '" + nearest + "'?)";
}

}  // namespace harvion
