// The engine's exception hierarchy. File and memory failures travel as these
// inside the engine; every exported function catches CException.
#pragma once

#include <stdexcept>
#include <string>

class CException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CMemoryException : public CException {
 public:
  CMemoryException() : CException("out of memory") {}
};

class CFileException : public CException {
 public:
  CFileException(std::string path, int error, const std::string& what)
      : CException(what), m_strFileName(std::move(path)), m_lOsError(error) {}
  std::string m_strFileName;
  int m_lOsError;  // errno, 0 when none applies
};

// A stream that does not follow the object format: truncated, an unknown or
// wrong class, a bad schema, a reference never handed out, a length past the end.
class CArchiveException : public CException {
 public:
  using CException::CException;
};
