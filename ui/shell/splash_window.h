// The splash picture, shown at start-up and by About: frameless, centred,
// closed by any mouse or key press; only one at a time.
#pragma once

#include <QPointer>
#include <QSvgRenderer>
#include <QWidget>

#include <chrono>

namespace hvui {

class CSplashWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kStartupLimit{3000};
  static constexpr std::chrono::milliseconds kNoLimit{0};

  // Closes the one shown before, then shows a new one centred over `over`
  // (its window), or on the screen when null. With a limit it also closes
  // by itself after that time. The window deletes itself when closed.
  static CSplashWindow* Open(QWidget* over, std::chrono::milliseconds limit);
  static CSplashWindow* OpenAtStartup(QWidget* over) { return Open(over, kStartupLimit); }
  static CSplashWindow* OpenAbout(QWidget* over) { return Open(over, kNoLimit); }
  // The one shown now, or null.
  static CSplashWindow* Current();
  // "Version 3.0": the program's version, as the window shows it.
  static QString VersionText();

  ~CSplashWindow() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CSplashWindow();
  void CentreOver(QWidget* over);

  QSvgRenderer m_picture;
  static QPointer<CSplashWindow> s_current;
};

}  // namespace hvui
