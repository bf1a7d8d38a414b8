#include "shell/progress_display.h"

#include <gtest/gtest.h>

#include <QImage>

#include <functional>

namespace {

using Bar = hvui::CProgressDisplay;

// Dark and light pixels in the text rows of the columns [from, to).
std::pair<int, int> DarkAndLight(const QImage& image, int from, int to) {
  std::pair<int, int> counts;
  for (int x = from; x < to; ++x)
    for (int y = 2; y < image.height() - 2; ++y) {
      const int lightness = QColor(image.pixel(x, y)).lightness();
      counts.first += lightness < 128;
      counts.second += lightness > 200;
    }
  return counts;
}

TEST(ProgressDisplay, text_and_bar_follow_the_counts) {
  const struct {
    std::function<void(Bar&)> steps;
    const char* text;
    int barEnd;  // first white column of 200
  } cases[] = {
      {[](Bar&) {}, "", 0},
      {[](Bar& b) { b.Add(3, 0); }, "", 0},
      {[](Bar& b) { b.Add(0, 4); }, "0/4", 0},
      {[](Bar& b) { b.Add(1, 4), b.Add(1, 0), b.Add(1, 4); }, "3/8", 75},
      {[](Bar& b) { b.Add(6, 4); }, "6/4", 200},
      {[](Bar& b) { b.Add(2, 4), b.Reset(); }, "", 0},
      {[](Bar& b) { b.Add(2, 4), b.Reset(), b.Add(1, 2); }, "1/2", 100},
  };
  for (const auto& c : cases) {
    Bar bar;
    bar.resize(200, 20);
    c.steps(bar);
    EXPECT_EQ(bar.Text().toStdString(), c.text);
    // The top row holds no text: only the grounds show there.
    const QImage image = bar.grab().toImage();
    for (int x : {0, c.barEnd - 1, c.barEnd, 199}) {
      if (x < 0 || x > 199) continue;
      EXPECT_EQ(QColor(image.pixel(x, 0)), x < c.barEnd ? QColor(0x2f, 0x6f, 0xd0) : QColor(Qt::white))
          << c.text << " column " << x;
    }
    if (c.barEnd == 100) {  // the bar ends inside the centred text: white letters before, black after
      const auto [darkOnBar, lightOnBar] = DarkAndLight(image, 70, 100);
      EXPECT_EQ(darkOnBar, 0);
      EXPECT_GT(lightOnBar, 0);
      EXPECT_GT(DarkAndLight(image, 100, 130).first, 0);
    }
  }
}

}  // namespace
