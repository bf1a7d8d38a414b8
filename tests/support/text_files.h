// Whole files as text and programs found on the PATH, for the test servers
// and the benchmarks that start them.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace hvtest {

// Writes the file anew, making its folder when missing.
inline bool WriteText(const std::string& path, const std::string& text) {
  std::error_code error;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

// The whole file; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// An executable by name from PATH, then from the sbin folders a user's PATH
// often lacks; empty when there is none.
inline std::string FindProgram(const std::string& name) {
  std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
  dirs += ":/usr/sbin:/usr/local/sbin:/sbin";
  std::istringstream list(dirs);
  for (std::string dir; std::getline(list, dir, ':');) {
    if (dir.empty()) continue;
    const std::string path = dir + "/" + name;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

}  // namespace hvtest
