#include "engine/dialup/ras_module.h"

#include <mutex>

#include "harvion/exports.h"
#include "harvion/ras.h"
#include "platform/windows/registered_message.h"
#include "resources/resources.h"

namespace hv::dialup {
namespace {

struct Module {
  std::mutex mutex;
  LibraryPtr library;
  UINT dialEvent = 0;
};

Module& TheModule() {
  static Module module;
  return module;
}

// Called with the module's mutex held.
void PublishFunctions(const hv::ras::RasFunctions& f) {
  CRas::gpfnRasCreatePhonebookEntry = f.CreatePhonebookEntry;
  CRas::gpfnRasDial = f.Dial;
  CRas::gpfnRasEditPhonebookEntry = f.EditPhonebookEntry;
  CRas::gpfnRasEnumConnections = f.EnumConnections;
  CRas::gpfnRasEnumEntries = f.EnumEntries;
  CRas::gpfnRasGetConnectStatus = f.GetConnectStatus;
  CRas::gpfnRasGetEntryDialParams = f.GetEntryDialParams;
  CRas::gpfnRasGetErrorString = f.GetErrorString;
  CRas::gpfnRasGetProjectionInfo = f.GetProjectionInfo;
  CRas::gpfnRasHangUp = f.HangUp;
  CRas::gpfnRasSetEntryDialParams = f.SetEntryDialParams;
}

}  // namespace

LibraryPtr LoadedRasLibrary() {
  Module& module = TheModule();
  std::lock_guard lock(module.mutex);
  return module.library;
}

void LoadRasLibrary() {
  Module& module = TheModule();
  std::lock_guard lock(module.mutex);
  if (module.library) return;
  LibraryPtr library = hv::ras::RasLibrary::Load();
  if (!library) return;
  module.dialEvent = RegisterWindowMessage("RasDialEvent");
  PublishFunctions(library->Functions());
  module.library = std::move(library);
}

void UnloadRasLibrary() {
  Module& module = TheModule();
  LibraryPtr unloaded;  // released after the lock, when no call holds it
  std::lock_guard lock(module.mutex);
  unloaded = std::move(module.library);
  PublishFunctions({});
}

UINT RasDialEventMessage() {
  Module& module = TheModule();
  std::lock_guard lock(module.mutex);
  return module.dialEvent;
}

void ShowRasError(const hv::ras::RasFunctions& ras, std::uint32_t error, HWND owner) {
  char text[256] = {};
  if (ras.GetErrorString(error, text, sizeof text) != 0) {
    DisplayError(hv::res::IDS_RAS_UNDEFINED, owner);
    return;
  }
  text[sizeof text - 1] = '\0';
  DisplayError(text, owner);
}

}  // namespace hv::dialup
