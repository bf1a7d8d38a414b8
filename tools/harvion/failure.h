// A command that cannot do what was asked: main prints the message after
// "harvion: " and exits with status 1.
#pragma once

#include <stdexcept>
#include <string>

namespace harvion {

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace harvion
