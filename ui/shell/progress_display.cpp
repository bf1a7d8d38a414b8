#include "shell/progress_display.h"

#include <QPainter>

#include <algorithm>

namespace hvui {

namespace {

const QColor kBarColor(0x2f, 0x6f, 0xd0);

}  // namespace

CProgressDisplay::CProgressDisplay(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted, so Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CProgressDisplay::Reset() {
  m_nDone = m_nTotal = 0;
  update();
}

void CProgressDisplay::Add(int done, int total) {
  m_nDone += done;
  m_nTotal += total;
  update();
}

QString CProgressDisplay::Text() const {
  if (m_nTotal <= 0) return {};
  return QStringLiteral("%1/%2").arg(m_nDone).arg(m_nTotal);
}

QSize CProgressDisplay::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return {metrics.horizontalAdvance(QStringLiteral("0000/0000")) + 16, metrics.height() + 4};
}

void CProgressDisplay::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect all = rect();
  if (m_nTotal <= 0) {
    painter.fillRect(all, Qt::white);
    return;
  }
  // More done than total can happen while counts from several threads
  // arrive out of order: the bar stays within the widget.
  const qint64 done = std::clamp<qint64>(m_nDone, 0, m_nTotal);
  const int split = static_cast<int>(all.width() * done / m_nTotal);
  const QRect filled(all.left(), all.top(), split, all.height());
  const QRect rest(all.left() + split, all.top(), all.width() - split, all.height());
  const QString text = Text();

  // The same centred text twice, each clipped to its part, so its colour
  // changes exactly where the bar ends.
  const struct {
    QRect part;
    QColor ground, ink;
  } parts[] = {{filled, kBarColor, Qt::white}, {rest, Qt::white, Qt::black}};
  for (const auto& p : parts) {
    if (p.part.isEmpty()) continue;
    painter.save();
    painter.setClipRect(p.part);
    painter.fillRect(p.part, p.ground);
    painter.setPen(p.ink);
    painter.drawText(all, Qt::AlignCenter, text);
    painter.restore();
  }
}

}  // namespace hvui
