// The program as one object: the acquisition state, the serial port, the two
// windows and the run controller, wired together. The program's entry and
// the tests build the same thing.
#pragma once

#include "app/command_line.h"
#include "app/run_controller.h"
#include "app/velmora1.h"
#include "app/velmora_boot1.h"
#include "serial/com_port.h"
#include "stream/acquisition.h"

namespace voxa {

class Monitor {
 public:
  explicit Monitor(const StartOptions& options = {});
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // The main window visible, the boot window hidden.
  void Show();

  Acquisition& State() { return a_; }
  TComPort& Port() { return port_; }
  TVelmoraForm& Form() { return form_; }
  TVelmoraBootForm& Boot() { return boot_; }
  RunController& Controller() { return controller_; }

 private:
  Acquisition a_;
  TComPort port_;
  TVelmoraBootForm boot_;
  TVelmoraForm form_;
  RunController controller_;
};

}  // namespace voxa
