// The program as one object: the serial port, the two windows and the run
// controller (which owns the run pipeline), wired together. The program's
// entry and the tests build the same thing.
#pragma once

#include <optional>
#include <string>

#include "app/boot_window.h"
#include "app/main_window.h"
#include "app/noise_window.h"
#include "run/run_controller.h"
#include "pipeline/run_options.h"
#include "serial/com_port.h"

namespace voxa {

class Monitor {
 public:
  // With a port, the run starts at once on it, without a scan.
  explicit Monitor(const MonitorOptions& options = {}, const std::optional<std::string>& port = std::nullopt);
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // The main window visible, the boot window hidden.
  void Show();

  TComPort& Port() { return port_; }
  MainWindow& Window() { return window_; }
  BootWindow& Boot() { return boot_; }
  NoiseWindow& Noise() { return noise_; }
  RunController& Controller() { return controller_; }
  const RunPipeline& Pipeline() { return controller_.Pipeline(); }

 private:
  TComPort port_;
  BootWindow boot_;
  MainWindow window_;
  RunController controller_;
  NoiseWindow noise_;  // reads the controller's pipeline
};

}  // namespace voxa
