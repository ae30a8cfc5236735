// The program as one object.
#include "app/monitor.h"

#include <cstdio>

namespace voxa {

Monitor::Monitor(const MonitorOptions& options, const std::optional<std::string>& port)
    : window_(boot_), controller_(port_, window_, options), noise_(controller_.Pipeline()) {
  if (port) {
    controller_.SetCommandLinePort(*port);
    window_.SetPortText(*port);
  }
  MainWindow* w = &window_;
  RunController* c = &controller_;
  QObject::connect(w, &MainWindow::StartPanelClicked, c, &RunController::StartPanelClick);
  QObject::connect(w, &MainWindow::ChoiceClicked, c, &RunController::ChoiceClicked);
  QObject::connect(w, &MainWindow::RateClicked, c, &RunController::RateClicked);
  QObject::connect(w, &MainWindow::GainClicked, c, &RunController::GainClicked);
  QObject::connect(w, &MainWindow::ChannelsClicked, c, &RunController::ChannelsClicked);
  QObject::connect(w, &MainWindow::ZoomInClicked, c, &RunController::ZoomInClicked);
  QObject::connect(w, &MainWindow::ZoomOutClicked, c, &RunController::ZoomOutClicked);
  QObject::connect(w, &MainWindow::IncreaseAmplitudeClicked, c, &RunController::IncreaseAmplitudeClicked);
  QObject::connect(w, &MainWindow::DecreaseAmplitudeClicked, c, &RunController::DecreaseAmplitudeClicked);
  QObject::connect(w, &MainWindow::PlotResized, c, &RunController::PlotResized);
  QObject::connect(w, &MainWindow::NoiseClicked, &noise_, [this] {
    noise_.show();
    noise_.raise();
  });
  QObject::connect(&noise_, &NoiseWindow::SensorClicked, c, &RunController::SensorClicked);
  window_.SetCloseHandler([this] { return controller_.CloseRequested(); });
  QObject::connect(c, &RunController::RunFailed, w, [this](const QString& message) {
    // Also on the terminal, for runs started unattended, a line each.
    for (const QString& line : message.split('\n')) {
      std::fprintf(stderr, "voxa-monitor: %s\n", line.toLocal8Bit().constData());
    }
    window_.ShowFailure(message);
  });
  QObject::connect(c, &RunController::Noted, w, [this](const QString& line) {
    window_.AppendBootLine(line.toStdString());
    std::fprintf(stderr, "voxa-monitor: %s\n", line.toLocal8Bit().constData());
  });
  QObject::connect(c, &RunController::RunEnded, w, [this](const QString& recording) {
    if (recording.isEmpty()) return;
    // The recording's final name is only known now (and may carry a suffix
    // when a recording of the same minute exists): say where it went.
    const std::string line = "Recording saved as " + recording.toStdString();
    window_.AppendBootLine(line);
    std::fprintf(stdout, "voxa-monitor: %s\n", line.c_str());
    std::fflush(stdout);
  });
}

void Monitor::Show() {
  window_.show();
  boot_.hide();
}

}  // namespace voxa
