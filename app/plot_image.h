// The plot control: shows the plot's off-screen raster, cropped to the
// control's size, without copying its pixels.
#pragma once

#include <QWidget>

#include "analysis/raster.h"

namespace voxa {

class PlotImage : public QWidget {
  Q_OBJECT

 public:
  PlotImage(Raster& raster, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Raster& raster_;
};

}  // namespace voxa
