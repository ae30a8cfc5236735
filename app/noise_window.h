// The Noise window: each channel's latest PSD, its 5-95 percentile band and
// the noise models, and the sensor fields. It reads the run's PSDs (read
// only) once a second while shown and draws what LayOutNoise gives; "Use for
// the next run" reports the sensor read from the fields, and the run
// controller makes it the pipeline's.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QComboBox>
#include <QTimer>
#include <QWidget>

#include "analysis/sensor_response.h"
#include "app/noise_plot.h"
#include "pipeline/run_pipeline.h"

namespace voxa {

class NoiseWindow : public QWidget {
  Q_OBJECT

 public:
  explicit NoiseWindow(const RunPipeline& pipeline, QWidget* parent = nullptr);

  // Reads the PSDs again and repaints (the timer calls it while shown).
  void Refresh();
  const NoisePicture& Picture() const { return picture_; }
  // The fields as the sensor for the next run shows them.
  void ShowSensor(const SensorResponse& sensor);

 signals:
  void SensorClicked(const voxa::SensorResponse& sensor);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QRect PlotArea() const;
  void ApplyClicked();

  const RunPipeline& pipeline_;
  NoisePicture picture_;
  std::vector<std::string> streams_;
  QTimer timer_;
  QLineEdit* sensitivity_;
  QComboBox* unit_;
  QLineEdit* corner_;
  QLabel* sensorLine_;
};

}  // namespace voxa
