#include "shell/splash_window.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace hvui {

QPointer<CSplashWindow> CSplashWindow::s_current;

CSplashWindow::CSplashWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(QStringLiteral(":/icons/splash.svg")) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(m_picture.isValid() ? m_picture.defaultSize() : QSize(480, 300));
  setAccessibleName(tr("About Harvion"));
  setAccessibleDescription(VersionText());
  // A press anywhere in the program closes it, not only one aimed at the
  // splash: at start-up the user's first click usually goes to the frame.
  qApp->installEventFilter(this);
}

CSplashWindow::~CSplashWindow() {
  if (qApp) qApp->removeEventFilter(this);
}

CSplashWindow* CSplashWindow::Open(QWidget* over, std::chrono::milliseconds limit) {
  // Closed now, deleted later: the caller may be inside its event handler.
  if (s_current) s_current->close();
  auto* splash = new CSplashWindow;
  s_current = splash;
  splash->CentreOver(over);
  if (limit > kNoLimit) QTimer::singleShot(limit, splash, &QWidget::close);
  splash->show();
  return splash;
}

CSplashWindow* CSplashWindow::Current() { return s_current; }

QString CSplashWindow::VersionText() { return tr("Version %1").arg(QStringLiteral(HARVION_VERSION)); }

void CSplashWindow::CentreOver(QWidget* over) {
  QRect area;
  if (over) {
    area = over->window()->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) move(area.center() - rect().center());
}

void CSplashWindow::paintEvent(QPaintEvent* /*event*/) {
  // Drawn from the vector picture at paint time, so it is sharp at any
  // device pixel ratio.
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  m_picture.render(&painter, QRectF(rect()));
  // In the picture's band at the bottom, which is drawn for it.
  const QRect band(0, height() * 252 / 300, width() - 16, height() * 47 / 300);
  painter.setPen(Qt::white);
  painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter, VersionText());
}

bool CSplashWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
      if (isVisible()) close();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace hvui
