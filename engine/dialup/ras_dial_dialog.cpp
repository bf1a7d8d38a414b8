#include "harvion/ras_dial_dialog.h"

#include <string.h>

#include <algorithm>
#include <mutex>

#include "engine/dialup/ras_module.h"
#include "harvion/message_target.h"
#include "harvion/ras.h"
#include "resources/resources.h"

namespace {

struct RunnerSlot {
  std::mutex mutex;
  RasDialDialogRunner runner;
};

RunnerSlot& Slot() {
  static RunnerSlot slot;
  return slot;
}

template <std::size_t N>
void CopyField(const std::string& text, char (&field)[N]) {
  const std::size_t n = std::min(text.size(), N - 1);
  text.copy(field, n);
  field[n] = '\0';
}

}  // namespace

RasDialDialogRunner SetRasDialDialogRunner(RasDialDialogRunner runner) {
  std::lock_guard lock(Slot().mutex);
  std::swap(Slot().runner, runner);
  return runner;
}

CRasDialDialog::CRasDialDialog(std::string entryName)
    : m_strEntry(std::move(entryName)),
      m_strUpper(hv::res::LoadString(hv::res::IDS_RAS_CONNECTING_TO) + m_strEntry),
      m_library(hv::dialup::LoadedRasLibrary()),
      m_uDialEvent(hv::dialup::RasDialEventMessage()) {}

CRasDialDialog::~CRasDialDialog() { OnCancel(); }

int CRasDialDialog::DoModal() {
  RasDialDialogRunner runner;
  {
    std::lock_guard lock(Slot().mutex);
    runner = Slot().runner;
  }
  // Headless: nobody could press a button, so the answer is Cancel.
  if (!runner) return closeCancel;
  return runner(*this);
}

CRasDialDialog::Result CRasDialDialog::OnInitDialog(HWND window) {
  try {
    m_hWnd = window;
    if (!m_library) return closeCancel;
    const auto& ras = m_library->Functions();
    RASDIALPARAMSA params{};
    params.dwSize = sizeof params;
    CopyField(m_strEntry, params.szEntryName);
    BOOL passwordStored = 0;
    std::uint32_t error = ras.GetEntryDialParams(nullptr, &params, &passwordStored);
    if (error == 0) {
      // Dial the entry's own number, callback number and domain.
      params.szPhoneNumber[0] = params.szCallbackNumber[0] = params.szDomain[0] = '\0';
      m_hConnection = 0;
      RASNOTIFYWINDOW notifier{window, m_uDialEvent, &PostMessage};
      error = ras.Dial(nullptr, nullptr, &params, RAS_NOTIFIER_WINDOW, &notifier, &m_hConnection);
    }
    ::explicit_bzero(&params, sizeof params);  // it held the password
    if (error == 0) return keepOpen;
    ShowError(error);
    return closeCancel;
  } catch (...) {
    return closeCancel;
  }
}

CRasDialDialog::Result CRasDialDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == 0 || message != m_uDialEvent) return keepOpen;
    const auto state = static_cast<RASCONNSTATE>(wParam);
    m_strLower = hv::res::LoadString(CRas::GetRasConnState(state));
    if (lParam != 0) {
      ShowError(static_cast<std::uint32_t>(lParam));
      return closeCancel;
    }
    return (state & RASCS_DONE) ? closeOk : keepOpen;
  } catch (...) {
    return closeCancel;
  }
}

void CRasDialDialog::OnCancel() {
  if (m_hConnection != 0 && m_library) m_library->Functions().HangUp(m_hConnection);
  m_hConnection = 0;
}

HRASCONN CRasDialDialog::TakeConnection() {
  const HRASCONN connection = m_hConnection;
  m_hConnection = 0;
  return connection;
}

void CRasDialDialog::ShowError(std::uint32_t error) const {
  if (m_library) hv::dialup::ShowRasError(m_library->Functions(), error, m_hWnd);
}
