// Installs the engine's dialogs into the engine of this process: the
// settings sheet, the file-type, location and schedule lists then open from
// CSafClient::Settings, FileTypes, Constraints and Schedules, a run that
// must dial first shows the dial, and a server asking for a password gets
// "Authentication required". Call on the Qt thread, with a QApplication,
// before the first of those calls.
#pragma once

namespace hvdlg {

void InstallEngineDialogs();

}  // namespace hvdlg
