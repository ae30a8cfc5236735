// The plot control.
#include "app/plot_image.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

namespace voxa {

PlotImage::PlotImage(Raster& raster, QWidget* parent) : QWidget(parent), raster_(raster) {
  // Every pixel is painted here, so Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotImage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect dirty = event->rect();
  const QRect image(0, 0, raster_.Width(), raster_.Height());
  if (!image.isEmpty()) {
    // Wraps the raster's pixels as they are (0xFFRRGGBB rows); no copy is made.
    const QImage view(reinterpret_cast<const uchar*>(raster_.Data()), raster_.Width(), raster_.Height(),
                      raster_.Width() * 4, QImage::Format_RGB32);
    const QRect shown = dirty.intersected(image);
    if (!shown.isEmpty()) painter.drawImage(shown.topLeft(), view, shown);
  }
  // A control larger than the raster shows white beyond it, as an empty plot does.
  const QRegion outside = QRegion(dirty).subtracted(QRegion(image));
  for (const QRect& part : outside) painter.fillRect(part, Qt::white);
}

}  // namespace voxa
