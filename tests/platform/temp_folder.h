// A fresh folder under the system's temporary folder, removed with
// everything in it when the test ends, and whole-file helpers for its files.
#pragma once

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/file.h"
#include "platform/files/file_system.h"

namespace hv::test {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = hv::fs::JoinPath(hv::fs::TempDirectory(), "hvtest.XXXXXX");
    if (::mkdtemp(pattern.data())) m_path = pattern;
    EXPECT_FALSE(m_path.empty()) << "cannot create a temporary folder";
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    if (!m_path.empty()) hv::fs::RemoveTree(m_path);
  }

  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return hv::fs::JoinPath(m_path, name); }

 private:
  std::string m_path;
};

inline void WriteText(const std::string& path, const std::string& text) {
  hv::fs::WriteWholeFile(path, text.data(), text.size());
}

inline std::string ReadText(const std::string& path) {
  CFile file(path, CFile::modeRead);
  std::string text(file.GetLength() + 1, '\0');
  text.resize(file.Read(text.data(), text.size()));  // short only at the end
  return text;
}

}  // namespace hv::test
