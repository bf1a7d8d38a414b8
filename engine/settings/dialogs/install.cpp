#include "engine/settings/dialogs/install.h"

#include <QApplication>

#include "engine/dialup/dialogs/dial_dialog.h"
#include "engine/http/dialogs/qt_credentials_prompt.h"
#include "engine/schedule/dialogs/schedules_dialog.h"
#include "engine/settings/dialogs/program_sheet.h"
#include "engine/settings/dialogs/strategy_list_dialog.h"
#include "harvion/dialogs.h"

namespace hvdlg {

void InstallEngineDialogs() {
  EngineDialogs dialogs = SetEngineDialogs({});
  dialogs.settings = [] { CProgramSheet::Run(QApplication::activeWindow()); };
  dialogs.fileTypes = [](const StrategyList& list) {
    return CStrategyListDialog::Edit(QApplication::activeWindow(), false, list);
  };
  dialogs.constraints = [](const StrategyList& list) {
    return CStrategyListDialog::Edit(QApplication::activeWindow(), true, list);
  };
  dialogs.schedules = [](int selected) { return CSchedulesDialog::Run(QApplication::activeWindow(), selected); };
  SetEngineDialogs(std::move(dialogs));
  SetRasDialDialogRunner(&CDialDialog::Run);
  InstallCredentialsPrompt();
}

}  // namespace hvdlg
