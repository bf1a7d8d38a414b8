#include "platform/ras/ras_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/files/file_system.h"

namespace hv::ras {
namespace {

constexpr char kLibraryName[] = "libhvras.so";

std::string ProgramDirectory() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Looks the function up by its exported name; false when it is missing.
template <typename Function>
bool Find(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(handle, name));
  return function != nullptr;
}

}  // namespace

std::vector<std::string> LibraryCandidates() {
  if (const char* path = std::getenv("HARVION_RAS_LIBRARY"); path && *path) return {path};
  std::vector<std::string> candidates;
  if (const std::string dir = ProgramDirectory(); !dir.empty()) candidates.push_back(fs::JoinPath(dir, kLibraryName));
  // A bare name: the loader searches its own path.
  candidates.push_back(kLibraryName);
  return candidates;
}

std::unique_ptr<RasLibrary> RasLibrary::Load() {
  for (const std::string& candidate : LibraryCandidates()) {
    if (auto library = LoadFrom(candidate)) return library;
  }
  return nullptr;
}

std::unique_ptr<RasLibrary> RasLibrary::LoadFrom(const std::string& path) {
  // The loader opens whatever a path names, and a FIFO there would block it.
  if (path.find('/') != std::string::npos && !fs::IsRegularFile(path)) return nullptr;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  auto library = std::make_unique<RasLibrary>(Key{}, handle);
  RasFunctions& f = library->m_functions;
  // In this order, all or nothing: a library that lacks one is unloaded.
  const bool complete = Find(handle, "RasCreatePhonebookEntryA", f.CreatePhonebookEntry) &&
                        Find(handle, "RasDialA", f.Dial) &&
                        Find(handle, "RasEditPhonebookEntryA", f.EditPhonebookEntry) &&
                        Find(handle, "RasEnumConnectionsA", f.EnumConnections) &&
                        Find(handle, "RasEnumEntriesA", f.EnumEntries) &&
                        Find(handle, "RasGetConnectStatusA", f.GetConnectStatus) &&
                        Find(handle, "RasGetEntryDialParamsA", f.GetEntryDialParams) &&
                        Find(handle, "RasGetErrorStringA", f.GetErrorString) &&
                        Find(handle, "RasGetProjectionInfoA", f.GetProjectionInfo) &&
                        Find(handle, "RasHangUpA", f.HangUp) &&
                        Find(handle, "RasSetEntryDialParamsA", f.SetEntryDialParams);
  return complete ? std::move(library) : nullptr;
}

RasLibrary::~RasLibrary() { ::dlclose(m_handle); }

}  // namespace hv::ras
