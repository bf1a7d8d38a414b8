#include "engine/agent/help_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "platform/framework/exceptions.h"

namespace {

constexpr char kIndexName[] = "names.txt";

// A bundle names files inside the agent's folder, never elsewhere.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string LibraryDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) == 0 || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void CopyFile(const std::string& from, const std::string& to) {
  CFile in(from, CFile::modeRead);
  CFile out(to, CFile::modeCreate | CFile::modeWrite);
  char buffer[4096];
  for (std::size_t n; (n = in.Read(buffer, sizeof buffer)) > 0;) out.Write(buffer, n);
  out.Close();
}

}  // namespace

std::optional<CHelpLibrary> CHelpLibrary::LoadFrom(const std::string& directory) {
  std::ifstream index(hv::fs::JoinPath(directory, kIndexName));
  if (!index) return std::nullopt;
  CHelpLibrary library;
  library.m_strDirectory = directory;
  std::string line;
  while (std::getline(index, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int number = 0;
    std::string name;
    if (!(fields >> number >> name)) continue;
    if (number < kFirst || number > kLast || !IsPlainFileName(name)) continue;
    library.m_names[number] = name;
  }
  return library;
}

std::optional<CHelpLibrary> CHelpLibrary::Load() {
  if (const char* env = std::getenv("HARVION_HELP_DIR"); env && *env) return LoadFrom(env);
  const std::string libDir = LibraryDirectory();
  if (libDir.empty()) return std::nullopt;
  return LoadFrom(libDir + "/../share/harvion/hvhelp");
}

std::string CHelpLibrary::FileName(int number) const {
  auto it = m_names.find(number);
  return it == m_names.end() ? std::string() : it->second;
}

int CHelpLibrary::CopyTo(const std::string& folder) const {
  int written = 0;
  for (int number = kFirst; number <= kLast; ++number) {
    const std::string name = FileName(number);
    if (name.empty()) continue;
    const std::string target = hv::fs::JoinPath(folder, name);
    hv::fs::RemoveFile(target);
    const std::string source = hv::fs::JoinPath(m_strDirectory, name);
    if (!hv::fs::IsRegularFile(source)) continue;  // a missing resource writes nothing
    try {
      CopyFile(source, target);
      ++written;
    } catch (const CFileException&) {
      hv::fs::RemoveFile(target);  // no half-written help page
    }
  }
  return written;
}
