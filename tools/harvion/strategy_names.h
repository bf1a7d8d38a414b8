// The names of the open agent's file-type and location strategies, indexed
// as the load information's index fields count them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace harvion {

struct StrategyNames {
  std::vector<std::string> fileTypes;
  std::vector<std::string> locations;

  static StrategyNames OfOpenAgent();
};

// Entry names of a packed list (per entry an id byte and a zero-terminated
// name; 0xFF ends the list). A block cut short ends the list where it stops.
std::vector<std::string> UnpackNames(const unsigned char* bytes, std::size_t size);

}  // namespace harvion
