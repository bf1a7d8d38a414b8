// The dial dialog: "Connecting to NAME", the state of the dial below it, and
// a Cancel button. The engine decides what happens; a front end shows it
// modally through the function it installs here. Until one is installed the
// dialog answers as if the user had pressed Cancel, so nothing is dialled.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "harvion/ras_api.h"
#include "harvion/types.h"

namespace hv::ras {
class RasLibrary;
}

class HV_EXPORT CRasDialDialog {
 public:
  // What a handler answers: keep the dialog open, or close it with that result.
  enum Result { keepOpen = 0, closeOk = 1, closeCancel = 2 };

  explicit CRasDialDialog(std::string entryName);
  CRasDialDialog(const CRasDialDialog&) = delete;
  CRasDialDialog& operator=(const CRasDialDialog&) = delete;
  // A dial that did not end with OK is hung up.
  ~CRasDialDialog();

  // Shown by the installed front end; closeCancel when there is none.
  int DoModal();

  const std::string& GetUpperLine() const { return m_strUpper; }
  // Empty until the first progress message.
  const std::string& GetLowerLine() const { return m_strLower; }

  // Starts the dial once the dialog's window exists: a message target that
  // hands its messages to OnMessage on the dialog's own thread.
  Result OnInitDialog(HWND window);
  // Every message that reaches the dialog's window; after each the front end
  // shows the lower line again.
  Result OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // The Cancel button: hangs up the dial in progress. Close with closeCancel.
  void OnCancel();

 private:
  friend class CRas;
  // The connection passes to the caller, so it outlives the dialog.
  HRASCONN TakeConnection();
  // Shows the library's text for the error, owned by the dialog's window.
  void ShowError(std::uint32_t error) const;

  std::string m_strEntry;
  std::string m_strUpper;
  std::string m_strLower;
  // Held while the dialog lives, so the library stays loaded under a dial.
  std::shared_ptr<const hv::ras::RasLibrary> m_library;
  UINT m_uDialEvent;
  HWND m_hWnd = nullptr;
  HRASCONN m_hConnection = 0;
};

// Shows the dialog modally and returns the Result it closed with. Returns the
// previous function; an empty one restores the headless Cancel.
using RasDialDialogRunner = std::function<int(CRasDialDialog& dialog)>;
HV_EXPORT RasDialDialogRunner SetRasDialDialogRunner(RasDialDialogRunner runner);
