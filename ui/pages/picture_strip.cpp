#include "pages/picture_strip.h"

#include <QPainter>
#include <QSvgRenderer>

namespace hvui {

CPictureStrip::CPictureStrip(const QString& file, int cellWidth)
    : m_renderer(std::make_unique<QSvgRenderer>(file)), m_cellWidth(cellWidth) {}

CPictureStrip::~CPictureStrip() = default;

int CPictureStrip::Count() const {
  if (!m_renderer->isValid() || m_cellWidth <= 0) return 0;
  return m_renderer->defaultSize().width() / m_cellWidth;
}

QSize CPictureStrip::CellSize() const { return {m_cellWidth, m_renderer->defaultSize().height()}; }

QPixmap CPictureStrip::Picture(int index, qreal ratio) const {
  if (index < 0 || index >= Count()) return {};
  const QSize whole = m_renderer->defaultSize();
  QPixmap picture(CellSize() * ratio);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.scale(ratio, ratio);
  // The whole row drawn so that the cell wanted lands on the pixmap.
  m_renderer->render(&painter, QRectF(-index * m_cellWidth, 0, whole.width(), whole.height()));
  painter.end();
  picture.setDevicePixelRatio(ratio);
  return picture;
}

}  // namespace hvui
