// The monitor's port policy: the names the start-up scan tries, and the
// settings of the monitor's own port, checked as the values the serial
// component gives the driver.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "run/port_policy.h"
#include "support/test_files.h"

namespace voxa {
namespace {

uint32_t Field32(const std::array<uint8_t, 28>& record, int offset) {
  return static_cast<uint32_t>(record[offset]) | (static_cast<uint32_t>(record[offset + 1]) << 8) |
         (static_cast<uint32_t>(record[offset + 2]) << 16) | (static_cast<uint32_t>(record[offset + 3]) << 24);
}

TEST(MonitorPortSettings, A115200EightN1LineWithoutFlowControlOrEvents) {
  struct Row {
    const char* legend;
    std::function<void(TComPort&)> before;
  };
  const std::vector<Row> rows = {
      {"a new port", [](TComPort&) {}},
      // Every setting the policy owns starts elsewhere: none is left to a default.
      {"a port set otherwise", [](TComPort& p) {
         p.SetBaudRate(br57600); p.Parity().SetBits(prOdd); p.SetStopBits(sbTwoStopBits); p.SetDataBits(dbSeven);
         p.SetEvents(kAllComEvents); p.FlowControl().SetOutCTSFlow(true); p.FlowControl().SetOutDSRFlow(true);
         p.FlowControl().SetControlDTR(dtrHandshake); p.FlowControl().SetControlRTS(rtsToggle);
         p.FlowControl().SetXonXoffOut(true); p.FlowControl().SetXonXoffIn(true);
         p.SetStoredProps({spBuffer, spTimeouts}); p.SetTriggersOnRxChar(false); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    TComPort port;
    row.before(port);
    ApplyMonitorPortSettings(port);
    const auto record = port.BuildDeviceControlRecord();
    EXPECT_EQ(Field32(record, 4), 115200u);
    // Binary mode and nothing else: no parity check, no CTS/DSR/XON flow, DTR and RTS off.
    EXPECT_EQ(Field32(record, 8), 0x0001u);
    EXPECT_EQ(record[18], 8);  // data bits
    EXPECT_EQ(record[19], 0);  // no parity
    EXPECT_EQ(record[20], 0);  // one stop bit
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    // No events: the run controller watches the port itself, no event thread runs.
    EXPECT_TRUE(port.Events().Empty());
    EXPECT_TRUE(port.TriggersOnRxChar());
    EXPECT_EQ(port.StoredProps(), TStoredProps{spBasic});
  }

  // The run controller reads on the GUI thread: a read must return at once
  // with what has arrived (no interval limit, no total time).
  TComPort port;
  ApplyMonitorPortSettings(port);
  const auto timeouts = port.TimeoutValues();
  EXPECT_EQ(timeouts[0], 0xFFFFFFFFu);
  EXPECT_EQ(timeouts[1], 0u);
  EXPECT_EQ(timeouts[2], 0u);
}

TEST(MonitorPortScan, SerialUsbAcmZeroToNineteenThenTheAdaptersStableNames) {
  std::vector<std::string> expected;
  for (const std::string kind : {"ttyS", "ttyUSB", "ttyACM"}) {
    for (int n = 0; n < 20; ++n) expected.push_back(kind + std::to_string(n));
  }
  test::ScratchDir dir;
  EXPECT_EQ(ComPortScanNames(dir.File("no-such-directory")), expected);

  // The stable names, as the system keeps them: links named after the adapter.
  for (const char* name : {"usb-Prolific_PL2303-if00-port0", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}) {
    std::filesystem::create_symlink("../../ttyUSB0", dir.File(name));
  }
  expected.push_back(dir.File("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
  expected.push_back(dir.File("usb-Prolific_PL2303-if00-port0"));
  EXPECT_EQ(ComPortScanNames(dir.Path()), expected);
}

}  // namespace
}  // namespace voxa
