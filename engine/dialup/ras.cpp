#include "harvion/ras.h"

#include <strings.h>

#include "engine/dialup/ras_module.h"
#include "harvion/ras_dial_dialog.h"
#include "harvion/saf_client.h"
#include "resources/resources.h"

using hv::dialup::LoadedRasLibrary;

PFNRASCREATEPHONEBOOKENTRYA CRas::gpfnRasCreatePhonebookEntry = nullptr;
PFNRASDIALA CRas::gpfnRasDial = nullptr;
PFNRASEDITPHONEBOOKENTRYA CRas::gpfnRasEditPhonebookEntry = nullptr;
PFNRASENUMCONNECTIONSA CRas::gpfnRasEnumConnections = nullptr;
PFNRASENUMENTRIESA CRas::gpfnRasEnumEntries = nullptr;
PFNRASGETCONNECTSTATUSA CRas::gpfnRasGetConnectStatus = nullptr;
PFNRASGETENTRYDIALPARAMSA CRas::gpfnRasGetEntryDialParams = nullptr;
PFNRASGETERRORSTRINGA CRas::gpfnRasGetErrorString = nullptr;
PFNRASGETPROJECTIONINFOA CRas::gpfnRasGetProjectionInfo = nullptr;
PFNRASHANGUPA CRas::gpfnRasHangUp = nullptr;
PFNRASSETENTRYDIALPARAMSA CRas::gpfnRasSetEntryDialParams = nullptr;

// A library is loaded with all eleven functions or not at all, so "available"
// also answers whether the function an operation needs is there.

CRas::~CRas() {
  Empty();
  hv::dialup::UnloadRasLibrary();
}

void CRas::Init() {
  try {
    hv::dialup::LoadRasLibrary();
  } catch (...) {
    // Without the library dialling is simply not available.
  }
}

int CRas::IsRasAvailable() {
  try {
    return LoadedRasLibrary() != nullptr;
  } catch (...) {
    return 0;
  }
}

void CRas::Reset() {
  try {
    const auto library = LoadedRasLibrary();
    if (!library) return;
    Empty();
    const auto& ras = library->Functions();
    std::vector<RASENTRYNAMEA> entries;
    std::uint32_t count = 0;
    const std::uint32_t answer = hv::dialup::EnumerateGrowingOnce(
        entries, count, [&](RASENTRYNAMEA* block, std::uint32_t* bytes, std::uint32_t* n) {
          return ras.EnumEntries(nullptr, nullptr, block, bytes, n);
        });
    if (answer != 0) return;
    for (std::uint32_t i = 0; i < count; ++i) m_names.push_back(hv::dialup::FieldText(entries[i].szEntryName));
  } catch (...) {
    Empty();
  }
}

int CRas::ConnectionRunning(const char* name) {
  try {
    const auto library = LoadedRasLibrary();
    if (!library || !name) return 0;
    const auto& ras = library->Functions();
    const HWND owner = CSafClient::GetSafClient()->GetMainWnd();
    std::vector<RASCONNA> connections;
    std::uint32_t count = 0;
    const std::uint32_t answer = hv::dialup::EnumerateGrowingOnce(
        connections, count,
        [&](RASCONNA* block, std::uint32_t* bytes, std::uint32_t* n) { return ras.EnumConnections(block, bytes, n); });
    if (answer != 0) {
      hv::dialup::ShowRasError(ras, answer, owner);
      return 0;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      if (::strcasecmp(hv::dialup::FieldText(connections[i].szEntryName).c_str(), name) != 0) continue;
      RASCONNSTATUSA status{};
      status.dwSize = sizeof status;
      if (const std::uint32_t error = ras.GetConnectStatus(connections[i].hrasconn, &status); error != 0) {
        hv::dialup::ShowRasError(ras, error, owner);
        return 0;
      }
      return status.rasconnstate == RASCS_Connected;
    }
    return 0;
  } catch (...) {
    return 0;
  }
}

int CRas::Dial(const char* name) {
  try {
    if (!name || !IsRasAvailable()) return 0;
    // A dialog that closes any other way hangs up what it started.
    CRasDialDialog dialog(name);
    if (dialog.DoModal() != CRasDialDialog::closeOk) {
      m_hConnection = 0;
      return 0;
    }
    m_hConnection = dialog.TakeConnection();
    return m_hConnection != 0;
  } catch (...) {
    return 0;
  }
}

void CRas::Hangup() {
  try {
    const auto library = LoadedRasLibrary();
    if (!library || m_hConnection == 0) return;
    library->Functions().HangUp(m_hConnection);
    m_hConnection = 0;
  } catch (...) {
  }
}

unsigned int CRas::GetRasConnState(RASCONNSTATE state) {
  using namespace hv::res;
  const std::uint32_t n = state;
  if (n <= RASCS_WaitForCallback) return IDS_RAS_STATE_FIRST + n;
  if (n >= RASCS_Interactive && n <= RASCS_PasswordExpired) return IDS_RAS_INTERACTIVE + (n - RASCS_Interactive);
  if (n == RASCS_Connected || n == RASCS_Disconnected) return IDS_RAS_CONNECTED + (n - RASCS_Connected);
  return IDS_RAS_UNDEFINED;
}
