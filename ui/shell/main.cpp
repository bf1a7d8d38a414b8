// hvmain: the desktop program.
#include <QApplication>
#include <QIcon>
#include <filesystem>
#include <iostream>

#include "engine/settings/dialogs/install.h"
#include "harvion/settings.h"
#include "shell/harvion_app.h"

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const hvui::StartOptions options = hvui::ParseStartOptions(arguments);
  if (options.help) {
    std::cout << hvui::UsageText().toStdString();
    return 0;
  }
  if (!options.error.isEmpty()) {
    std::cerr << "hvmain: " << options.error.toStdString() << "\nTry 'hvmain --help'.\n";
    return 2;
  }
  // Settings, passwords and cookies have no place without the folder.
  if (GetHomeDirectory().empty()) {
    std::cerr << "hvmain: " << GetHomeProblem() << '\n';
    return 1;
  }
  QApplication app(argc, argv);
  Q_INIT_RESOURCE(hvmain);
  QApplication::setApplicationName("Harvion");
  QApplication::setDesktopFileName("harvion");
  QApplication::setWindowIcon(QIcon(":/icons/harvion.svg"));
  // The first start of any of our programs records where they live, so the
  // engine can start the scheduler from there.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) EnsureProgramFolder(self.parent_path().c_str());

  // The settings sheet and the strategy lists draw on this program's windows.
  hvdlg::InstallEngineDialogs();
  hvui::CHarvionApp harvion;
  if (!harvion.Start(options)) return harvion.StartExitCode();
  const int result = QApplication::exec();
  return result;
}
