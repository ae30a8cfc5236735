// The program as one object.
#include "app/monitor.h"

#include <cstdio>

namespace voxa {

Monitor::Monitor(const StartOptions& options) : form_(a_, boot_), controller_(a_, port_, form_) {
  form_.ApplyStartOptions(options);
  if (options.hasPort) controller_.SetCommandLinePort(options.port);
  QObject::connect(&form_, &TVelmoraForm::StartPanelClicked, &controller_, &RunController::StartPanelClick);
  form_.SetCloseHandler([this] { return controller_.CloseRequested(); });
  QObject::connect(&controller_, &RunController::RunFailed, &form_, [this](const QString& message) {
    // Also on the terminal, for runs started unattended.
    std::fprintf(stderr, "voxa-monitor: %s\n", message.toLocal8Bit().constData());
    form_.ShowFailure(message);
  });
  QObject::connect(&controller_, &RunController::RunEnded, &form_, [this](const QString& recording) {
    if (recording.isEmpty()) return;
    // The recording's final name is only known now (and may carry a suffix
    // when a recording of the same minute exists): say where it went.
    const std::string line = "Recording saved as " + recording.toStdString();
    form_.AppendBootLine(line);
    std::fprintf(stdout, "voxa-monitor: %s\n", line.c_str());
    std::fflush(stdout);
  });
}

void Monitor::Show() {
  form_.show();
  boot_.hide();
}

}  // namespace voxa
