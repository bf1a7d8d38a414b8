// Scratch files that leave nothing behind: created in the system's folder
// for temporary files and unlinked at once, so the space returns when the
// file is closed, whatever happens to the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files/file.h"

namespace hv::fs {

// An open, already nameless file; read and write move one position.
class CTemporaryFile : public CFile {
 public:
  CTemporaryFile(int fd, std::string path);
  // Throws CFileException.
  void Seek(std::uint64_t position);
  void SeekToBegin() { Seek(0); }
};

// Opens a new temporary file, read/write, named from the prefix (e.g.
// "HVT") in TempDirectory(). Throws CFileException when none can be made.
std::unique_ptr<CTemporaryFile> CreateTemporaryFile(const std::string& prefix);

}  // namespace hv::fs
