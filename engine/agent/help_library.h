// The help bundle: the Startup Agent's welcome page and help pages, installed
// beside the library as a folder with an index of numbered file names.
#pragma once

#include <map>
#include <optional>
#include <string>

class CHelpLibrary {
 public:
  static constexpr int kFirst = 200;
  static constexpr int kLast = 222;

  // The bundle from $HARVION_HELP_DIR, else share/harvion/hvhelp beside the
  // library's folder; none when neither holds an index.
  static std::optional<CHelpLibrary> Load();
  // The bundle of a folder; none when it holds no readable index.
  static std::optional<CHelpLibrary> LoadFrom(const std::string& directory);

  // The file name with the number, empty when there is none.
  std::string FileName(int number) const;
  // Copies every file of the bundle into the folder, replacing files of the
  // same names. Returns the number of files written.
  int CopyTo(const std::string& folder) const;

  const std::string& Directory() const { return m_strDirectory; }

 private:
  std::string m_strDirectory;
  std::map<int, std::string> m_names;
};
