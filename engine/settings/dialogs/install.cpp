#include "engine/settings/dialogs/install.h"

#include <QApplication>

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
  // Dialogs another module installed (the schedules) stay.
  SetEngineDialogs(std::move(dialogs));
}

}  // namespace hvdlg
