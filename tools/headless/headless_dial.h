// Dialling with nobody to watch: the dial dialog's work without its window,
// for the scheduler. The dial-up library's progress is awaited on the thread
// that starts the run; as nobody can press Cancel, a dial that has not ended
// within the time allowed is hung up.
#pragma once

#include <chrono>

#include "harvion/ras_dial_dialog.h"

namespace harvion {

// What the dial dialog closed with (CRasDialDialog::Result).
int DialWithoutWindow(CRasDialDialog& dial, std::chrono::milliseconds allowed);

}  // namespace harvion
