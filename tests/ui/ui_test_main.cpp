// The widget tests run under GoogleTest inside one QApplication on the
// offscreen platform, so they need no display, with a Harvion folder of
// their own that is removed at the end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Before anything reaches the engine: it reads the folder once.
  QTemporaryDir home(QDir::tempPath() + "/hvuitest.XXXXXX");
  if (!home.isValid()) return 1;
  setenv("HARVION_HOME", home.path().toLocal8Bit().constData(), 1);
  // The runs of the tests notify no desktop the tests run on; a test that
  // checks the notifications gives them a bus of its own.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  QApplication app(argc, argv);
  Q_INIT_RESOURCE(hvmain);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
