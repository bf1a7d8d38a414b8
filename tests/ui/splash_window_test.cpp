#include "shell/splash_window.h"

#include <gtest/gtest.h>

#include <QTest>

#include <functional>

namespace {

using hvui::CSplashWindow;

bool Closed(const QPointer<CSplashWindow>& splash) { return splash.isNull() || !splash->isVisible(); }
void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(SplashWindow, any_press_in_the_program_closes_it) {
  QWidget frame;
  frame.setGeometry(100, 120, 900, 700);
  frame.show();
  const std::function<void(QWidget&)> presses[] = {
      [](QWidget& s) { QTest::keyClick(&s, Qt::Key_Space); },
      [](QWidget& s) { QTest::mouseClick(&s, Qt::RightButton); },
      [&](QWidget&) { QTest::keyClick(&frame, Qt::Key_A); },
      [&](QWidget&) { QTest::mouseClick(&frame, Qt::LeftButton); },
  };
  for (const auto& press : presses) {
    QPointer<CSplashWindow> splash = CSplashWindow::OpenAbout(&frame);
    EXPECT_LE((splash->frameGeometry().center() - frame.frameGeometry().center()).manhattanLength(), 2);
    press(*splash);
    EXPECT_TRUE(Closed(splash));
    FlushDeletes();
    EXPECT_TRUE(splash.isNull());
    EXPECT_EQ(CSplashWindow::Current(), nullptr);
  }
}

TEST(SplashWindow, one_at_a_time_and_a_limit_closes_it) {
  QPointer<CSplashWindow> first = CSplashWindow::OpenAbout(nullptr);
  QPointer<CSplashWindow> second = CSplashWindow::Open(nullptr, std::chrono::milliseconds(20));
  EXPECT_TRUE(Closed(first));
  FlushDeletes();
  EXPECT_EQ(CSplashWindow::Current(), second.data()) << "the old one's deletion leaves the new one current";

  const QImage image = second->grab().toImage();
  EXPECT_EQ(image.size(), QSize(480, 300));
  int ink = 0;
  for (int y = 0; y < image.height(); y += 3) ink += QColor(image.pixel(image.width() / 3, y)).lightness() < 128;
  EXPECT_GT(ink, 3) << "the picture was drawn, not only the white ground";
  EXPECT_TRUE(QTest::qWaitFor([&] { return Closed(second); }, 5000));
}

}  // namespace
