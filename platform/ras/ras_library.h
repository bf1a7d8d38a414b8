// The dial-up library, loaded by name: libhvras.so beside the program, else
// wherever the system's loader finds it; $HARVION_RAS_LIBRARY names another.
// None ships with Harvion, so on most machines dialling is not available.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "harvion/ras_api.h"

namespace hv::ras {

// The eleven functions; a loaded library has every one of them.
struct RasFunctions {
  PFNRASCREATEPHONEBOOKENTRYA CreatePhonebookEntry = nullptr;
  PFNRASDIALA Dial = nullptr;
  PFNRASEDITPHONEBOOKENTRYA EditPhonebookEntry = nullptr;
  PFNRASENUMCONNECTIONSA EnumConnections = nullptr;
  PFNRASENUMENTRIESA EnumEntries = nullptr;
  PFNRASGETCONNECTSTATUSA GetConnectStatus = nullptr;
  PFNRASGETENTRYDIALPARAMSA GetEntryDialParams = nullptr;
  PFNRASGETERRORSTRINGA GetErrorString = nullptr;
  PFNRASGETPROJECTIONINFOA GetProjectionInfo = nullptr;
  PFNRASHANGUPA HangUp = nullptr;
  PFNRASSETENTRYDIALPARAMSA SetEntryDialParams = nullptr;
};

class RasLibrary {
  // Only Load makes one.
  struct Key {
    explicit Key() = default;
  };

 public:
  // The first place that holds a library exporting all eleven functions;
  // null when there is none.
  static std::unique_ptr<RasLibrary> Load();
  // Null unless the file loads and exports all eleven functions.
  static std::unique_ptr<RasLibrary> LoadFrom(const std::string& path);

  RasLibrary(const RasLibrary&) = delete;
  RasLibrary& operator=(const RasLibrary&) = delete;
  // Unloads the library: its functions must not be running.
  ~RasLibrary();

  RasLibrary(Key, void* handle) : m_handle(handle) {}

  const RasFunctions& Functions() const { return m_functions; }

 private:
  void* m_handle;
  RasFunctions m_functions;
};

// Where Load looks, in order.
std::vector<std::string> LibraryCandidates();

}  // namespace hv::ras
