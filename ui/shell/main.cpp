// hvmain: the desktop program.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Q_INIT_RESOURCE(hvmain);
  QLabel label("Harvion");
  label.show();
  return app.exec();
}
