// A fresh folder for a benchmark's files, in the temporary folder, so that
// TMPDIR chooses the disk that is measured.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <string>

#include "platform/files/file_system.h"

namespace bench {

// Empty (and a message on stderr) when none can be made.
inline std::string MakeBenchFolder() {
  std::string dir = hv::fs::JoinPath(hv::fs::TempDirectory(), "hvbench.XXXXXX");
  if (!::mkdtemp(dir.data())) {
    std::perror("cannot make a folder for the benchmark");
    return {};
  }
  return dir;
}

}  // namespace bench
