// The monitor's own use of the serial component: which ports the start-up
// scan tries, and the settings the monitor gives its port. The component
// itself (serial/) serves any program; these choices belong to this one.
// Plain C++ without Qt, so it is checked without the windows.
#pragma once

#include <string>
#include <vector>

#include "serial/com_port.h"

namespace voxa {

// The names the start-up scan tries, in order: ttyS0..19, ttyUSB0..19, ttyACM0..19.
std::vector<std::string> ComPortScanNames();

// The settings the monitor's own port uses: 115200 8N1 as the VOXA sends,
// no flow control, DTR and RTS off (the monitor only listens), no events
// (the run controller's event loop watches the port itself, so no event
// thread runs), OnRxChar counts rather than reads. The time-outs and queue
// sizes stay as the component sets them: reads return at once with what
// has arrived, which the run controller's reads on the GUI thread rely on.
void ApplyMonitorPortSettings(TCustomComPort& port);

}  // namespace voxa
