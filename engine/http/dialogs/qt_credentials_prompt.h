// Installs "Authentication required" as the engine's credentials prompt.
// The engine asks on a thread of its own; the question is carried to the Qt
// thread, shown there, and the answer carried back. Call on the Qt thread,
// with a QApplication.
#pragma once

namespace hvdlg {

void InstallCredentialsPrompt();

}  // namespace hvdlg
