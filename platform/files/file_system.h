// File-system helpers: existence tests, folders, temporary names and safe
// replacement of a file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CFile;

namespace hv::fs {

// Joins with '/', avoiding a doubled separator.
std::string JoinPath(const std::string& dir, const std::string& name);

bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
// An ordinary file: exists and is a regular file (a folder or a device is not).
bool IsRegularFile(const std::string& path);
// -1 when the file does not exist.
std::int64_t FileSize(const std::string& path);
// The size of a regular file; -1 when the path is missing or not a regular file.
std::int64_t RegularFileSize(const std::string& path);

// The number of entries directly in the folder and the bytes of its files
// (no recursion); both 0 when it cannot be read.
void MeasureFolder(const std::string& path, std::int64_t& count, std::int64_t& bytes);

// True when the path is a directory afterwards. Creates one level only: a
// missing parent is a failure. A path that exists as a file is a failure.
bool EnsureDirectory(const std::string& path);
// Deletes a file or a folder with everything in it, depth first. True when
// nothing is left.
bool RemoveTree(const std::string& path);
// Deletes one file; true when it is gone afterwards.
bool RemoveFile(const std::string& path);
bool RenamePath(const std::string& from, const std::string& to);

// Creates an empty file named prefix (up to three characters) + up to four
// hexadecimal digits + ".TMP" in the folder and returns its full path; empty
// when no name is free or the folder cannot be written.
std::string GetTempFileName(const std::string& dir, const std::string& prefix);

// The system's folder for temporary files ($TMPDIR, else /tmp), no trailing '/'.
std::string TempDirectory();

// Writes a file through a temporary file in the same folder and renames it
// over the target, so a failure mid-write leaves the old file whole. The
// writer gets the open temporary file; any exception it throws removes the
// temporary file and is rethrown. Throws CFileException on file errors.
void ReplaceFile(const std::string& path, const std::function<void(CFile&)>& writer);

// Replaces whatever the name is (a file, a symbolic link) by a new file of
// mode 0600 holding text: written beside it, flushed to disk and renamed
// over the name itself. Nothing a link points at is written or has its mode
// changed. False on any failure; the old file then stays as it was.
bool ReplaceWithPrivateFile(const std::string& path, std::string_view text);

// Writes the bytes to the file, truncating it. Throws CFileException.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);

// Appends what is left of an open file to text. False on a read error or
// once text holds more than limit bytes (a file may grow while it is read).
bool ReadAtMost(int fd, std::size_t limit, std::string& text);

}  // namespace hv::fs
