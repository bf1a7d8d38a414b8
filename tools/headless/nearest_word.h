// The known word a mistyped one was probably meant to be, for "did you mean"
// hints on the command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace harvion {

// Edits (insert, delete, replace, swap of two neighbours) from a to b,
// letter case aside.
std::size_t EditDistance(std::string_view a, std::string_view b);

// The candidate nearest to word when it is close (one edit for words of up
// to four letters, two for longer ones) and no other is as near; else empty.
std::string NearestWord(std::string_view word, const std::vector<std::string_view>& candidates);

// " (did you mean 'WORD'?)" for the nearest candidate, or nothing.
std::string DidYouMean(std::string_view word, const std::vector<std::string_view>& candidates);

}  // namespace harvion
