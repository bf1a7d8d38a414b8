// What the fuzzers that write stored copies share: a stop that names the
// fuzzer, and one temporary folder made at start-up below which everything
// the engine writes goes, removed at exit. A fresh cache per input, not an
// agent's: an agent's index would grow with every input until its key limit
// changed what the parser does.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <string>

#include "platform/files/file_system.h"

namespace hvfuzz {

[[noreturn]] inline void Fail(const char* fuzzer, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", fuzzer, what.c_str());
  std::abort();
}

inline void UseScratchFolder(const char* fuzzer) {
  static const bool done = [fuzzer] {
    std::string pattern = hv::fs::JoinPath(hv::fs::TempDirectory(), "hvfuzz.XXXXXX");
    if (!::mkdtemp(pattern.data())) Fail(fuzzer, "cannot make a temporary folder");
    setenv("HARVION_HOME", pattern.c_str(), 1);
    setenv("TMPDIR", pattern.c_str(), 1);
    std::atexit([] { hv::fs::RemoveTree(std::getenv("HARVION_HOME")); });
    return true;
  }();
  (void)done;
}

}  // namespace hvfuzz
