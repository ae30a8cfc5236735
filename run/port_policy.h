// The monitor's own use of the serial component: which ports the start-up
// scan tries, and the settings the monitor gives its port. The component
// itself (serial/) serves any program; these choices belong to this one.
// Plain C++ without Qt, so it is checked without the windows.
#pragma once

#include <string>
#include <vector>

#include "serial/com_port.h"

namespace voxa {

// Where the system keeps a stable name for each USB serial adapter plugged
// in, made of the adapter's maker, model and serial number
// (usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 -> ../../ttyUSB0).
inline constexpr const char* kStablePortNames = "/dev/serial/by-id";

// The names the start-up scan tries, in order: ttyS0..19, ttyUSB0..19,
// ttyACM0..19, then the full paths of the stable names in stableNames, sorted.
// An adapter plugged in again may come back as another ttyUSBn; its stable
// name stays, so a run started on it finds it again after a reconnect.
std::vector<std::string> ComPortScanNames(const std::string& stableNames = kStablePortNames);

// The settings the monitor's own port uses: 115200 8N1 as the VOXA sends,
// no flow control, DTR and RTS off (the monitor only listens), no events
// (the run controller's event loop watches the port itself, so no event
// thread runs), OnRxChar counts rather than reads. The time-outs and queue
// sizes stay as the component sets them: reads return at once with what
// has arrived, which the run controller's reads on the GUI thread rely on.
void ApplyMonitorPortSettings(TCustomComPort& port);

}  // namespace voxa
