// A row of pictures of one size drawn side by side in one SVG file, handed
// out one at a time by their place in the row.
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <memory>

class QSvgRenderer;

namespace hvui {

class CPictureStrip {
 public:
  CPictureStrip(const QString& file, int cellWidth);
  ~CPictureStrip();

  int Count() const;
  QSize CellSize() const;
  // Picture `index` drawn for the device pixel ratio; null outside the row.
  QPixmap Picture(int index, qreal ratio = 1.0) const;

 private:
  std::unique_ptr<QSvgRenderer> m_renderer;
  int m_cellWidth;
};

}  // namespace hvui
