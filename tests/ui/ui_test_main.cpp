// The widget tests run under GoogleTest inside one QApplication on the
// offscreen platform, so they need no display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Q_INIT_RESOURCE(hvmain);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
