// Installs the engine's dialogs into the engine of this process: the
// settings sheet and the file-type and location lists then open from
// CSafClient::Settings, FileTypes and Constraints. Call on the Qt thread,
// with a QApplication, before the first of those calls.
#pragma once

namespace hvdlg {

void InstallEngineDialogs();

}  // namespace hvdlg
