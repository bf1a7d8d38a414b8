// The dial dialog drawn: "Connecting to NAME", below it the state of the
// dial as the dial-up library reports it, and Cancel. The engine's
// CRasDialDialog decides; this window only shows it and passes on the
// library's progress messages and the user's Cancel.
#pragma once

#include <QDialog>

#include "harvion/ras_dial_dialog.h"

class QLabel;

namespace hvdlg {

class CDialDialog : public QDialog {
  Q_OBJECT
 public:
  // The runner installed into the engine: shows the dial on the Qt thread,
  // from whichever thread starts the run, and returns the result it closed
  // with (CRasDialDialog::Result).
  static int Run(CRasDialDialog& dial);

  explicit CDialDialog(CRasDialDialog& dial, QWidget* parent = nullptr);
  ~CDialDialog() override;
  // Gives the dial its window and starts it: keepOpen, or the result to
  // close with at once.
  int Start();
  // Cancel, Escape and closing the window hang up.
  void reject() override;
  QString LowerLine() const;

 private:
  void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  CRasDialDialog& m_dial;
  HWND m_window = nullptr;
  QLabel* m_upper;
  QLabel* m_lower;
};

}  // namespace hvdlg
