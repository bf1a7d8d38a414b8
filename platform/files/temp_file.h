// Temporary files. Scratch files leave nothing behind: created in the
// system's folder for temporary files and unlinked at once, so the space
// returns when the file is closed, whatever happens to the process. A
// replacement is written beside the file it replaces and takes its name only
// once it is complete, so the name never shows a half-written file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files/file.h"

namespace hv::fs {

// An open temporary file; read and write move one position.
class CTemporaryFile : public CFile {
 public:
  // replacing: the file has a name of its own that Commit moves onto
  // that path; until then the destructor removes it.
  CTemporaryFile(int fd, std::string path, std::string replacing = {});
  ~CTemporaryFile() override;
  // Throws CFileException.
  void Seek(std::uint64_t position);
  void SeekToBegin() { Seek(0); }
  // Closes the file and renames it over the path it replaces. Throws
  // CFileException; the file is removed then.
  void Commit();
  // The size of the file it replaces when it was made; -1 for none.
  std::int64_t ReplacedSize() const { return m_nReplacedSize; }
  // Whether the bytes written so far are exactly those of the file it
  // replaces; false when there is none or it cannot be read.
  bool SameAsReplaced() const;

 private:
  friend std::unique_ptr<CTemporaryFile> CreateReplacement(const std::string& path);

  std::string m_strReplacing;
  std::int64_t m_nReplacedSize = -1;
  bool m_bReused = false;  // an old copy written over: ends where the last write ended
};

// Opens a new temporary file, read/write, named from the prefix (e.g.
// "HVT") in TempDirectory(). Throws CFileException when none can be made.
std::unique_ptr<CTemporaryFile> CreateTemporaryFile(const std::string& prefix);

// Deletes the old copies kept for reuse by replacements (see
// CreateReplacement); before a folder is cleaned out or measured.
void ReleaseSpareFiles();

// True when temporary files can be made: we may write TempDirectory().
bool TemporaryFolderWritable();

// Opens a new file for writing in the folder of path, named after it, made
// with the mode of the file at path if there is one (the umask applies).
// When there is one, the copy that an earlier replacement in the folder
// displaced is written over instead, so rewriting many files deletes and
// makes none. Throws CFileException.
std::unique_ptr<CTemporaryFile> CreateReplacement(const std::string& path);

}  // namespace hv::fs
