// The serial component's rules, without a device: the settings objects, which
// apply step each property write triggers, the failure texts, the event mask
// and the device paths of port names.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial/com_thread.h"

namespace voxa {
namespace {

// Counts which group of settings each property write sends to the device.
class CountingPort : public TComPort {
 public:
  int line = 0, timeouts = 0, buffers = 0;

 protected:
  void ApplyLineSettings() override { ++line; TComPort::ApplyLineSettings(); }
  void ApplyTimeoutSettings() override { ++timeouts; TComPort::ApplyTimeoutSettings(); }
  void ApplyBufferSizes() override { ++buffers; TComPort::ApplyBufferSizes(); }
};

TEST(BufferSizes, OddPositiveSizesAreLoweredByOne) {
  struct Row {
    int32_t written, stored;
  };
  const Row rows[] = {{1025, 1024}, {1, 0}, {4097, 4096}, {2048, 2048}, {0, 0}, {-3, -3}, {-4, -4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.written);
    TComBuffer buffer;
    buffer.SetInputSize(row.written);
    buffer.SetOutputSize(row.written);
    EXPECT_EQ(buffer.InputSize(), row.stored);
    EXPECT_EQ(buffer.OutputSize(), row.stored);
  }
}

TEST(FlowControlShorthand, ReadsFromTheFourDecidingFieldsAndWritesThem) {
  struct Row {
    const char* legend;
    TRTSFlowControl rts;
    bool cts, xonIn, xonOut;
    TFlowControl expected;
  };
  const Row rows[] = {
      {"hardware", rtsHandshake, true, false, false, fcHardware},
      {"hardware with XON/XOFF is custom", rtsHandshake, true, true, false, fcCustom},
      {"handshake without CTS is custom", rtsHandshake, false, false, false, fcCustom},
      {"software", rtsDisable, false, true, true, fcSoftware},
      {"software one way is custom", rtsDisable, false, false, true, fcCustom},
      {"none", rtsDisable, false, false, false, fcNone},
      {"RTS enabled is custom", rtsEnable, false, false, false, fcCustom},
      {"CTS alone is custom", rtsDisable, true, false, false, fcCustom},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    TComFlowControl flow;
    flow.SetControlRTS(row.rts);
    flow.SetOutCTSFlow(row.cts);
    flow.SetXonXoffIn(row.xonIn);
    flow.SetXonXoffOut(row.xonOut);
    EXPECT_EQ(flow.FlowControl(), row.expected);
    // The other fields play no part.
    flow.SetControlDTR(dtrHandshake);
    flow.SetOutDSRFlow(true);
    flow.SetDSRSensitivity(true);
    flow.SetTxContinueOnXoff(true);
    EXPECT_EQ(flow.FlowControl(), row.expected);

    // Writing the shorthand sets the four fields from a mixed state that is
    // none of the three and leaves the rest; writing fcCustom changes nothing.
    TComFlowControl written;
    written.SetControlRTS(rtsToggle);
    written.SetOutCTSFlow(true);
    written.SetXonXoffIn(true);
    written.SetControlDTR(dtrEnable);
    written.SetFlowControl(row.expected);
    const bool custom = row.expected == fcCustom;
    EXPECT_EQ(written.ControlRTS(), custom ? rtsToggle : row.rts);
    EXPECT_EQ(written.OutCTSFlow(), custom || row.cts);
    EXPECT_EQ(written.XonXoffIn(), custom || row.xonIn);
    EXPECT_EQ(written.XonXoffOut(), !custom && row.xonOut);
    EXPECT_EQ(written.ControlDTR(), dtrEnable);
    EXPECT_EQ(written.FlowControl(), row.expected);
  }
}

TEST(PropertyWrites, EachGroupGoesToItsApplyStep) {
  struct Row {
    const char* legend;
    std::function<void(CountingPort&)> write;
    int line, timeouts, buffers;
  };
  const std::vector<Row> rows = {
      {"rate changed", [](CountingPort& p) { p.SetBaudRate(br115200); }, 1, 0, 0},
      {"rate unchanged", [](CountingPort& p) { p.SetBaudRate(br9600); }, 0, 0, 0},
      {"data bits, stop bits, NUL, event char", [](CountingPort& p) {
         p.SetDataBits(dbSeven); p.SetStopBits(sbTwoStopBits); p.SetDiscardNull(true); p.SetEventChar(1); },
       4, 0, 0},
      {"parity field", [](CountingPort& p) { p.Parity().SetBits(prEven); }, 1, 0, 0},
      {"flow field unchanged", [](CountingPort& p) { p.FlowControl().SetOutCTSFlow(false); }, 0, 0, 0},
      {"shorthand always applies", [](CountingPort& p) {
         p.FlowControl().SetFlowControl(fcNone); p.FlowControl().SetFlowControl(fcNone); }, 2, 0, 0},
      {"time-out field", [](CountingPort& p) { p.Timeouts().SetReadTotalConstant(5); }, 0, 1, 0},
      {"buffer field", [](CountingPort& p) { p.Buffer().SetOutputSize(2048); }, 0, 0, 1},
      {"odd size rounds to the stored value", [](CountingPort& p) { p.Buffer().SetInputSize(1025); }, 0, 0, 1},
      {"whole objects", [](CountingPort& p) {
         p.SetParity(TComParity()); p.SetFlowControl(TComFlowControl()); p.SetTimeouts(TComTimeouts());
         p.SetBuffer(TComBuffer()); }, 2, 1, 1},
      {"events, stored props, code page", [](CountingPort& p) {
         p.SetEvents({evRxChar}); p.SetStoredProps({spBuffer}); p.SetCodePage(1252); }, 0, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    CountingPort port;
    row.write(port);
    EXPECT_EQ(port.line, row.line);
    EXPECT_EQ(port.timeouts, row.timeouts);
    EXPECT_EQ(port.buffers, row.buffers);
  }
}

TEST(SettingsObjects, AssignCopiesValuesButNeverTheOwner) {
  CountingPort port;
  TComBuffer loose;
  loose.SetInputSize(4096);
  port.SetBuffer(loose);
  EXPECT_EQ(port.Buffer().InputSize(), 4096);
  EXPECT_EQ(port.buffers, 1);

  // A copy of the port's object is free-standing: its writes reach no port.
  TComBuffer copy(port.Buffer());
  copy.SetInputSize(64);
  loose.SetInputSize(128);
  EXPECT_EQ(port.Buffer().InputSize(), 4096);
  EXPECT_EQ(port.buffers, 1);

  TComTimeouts timeouts;
  timeouts.SetReadInterval(7);
  port.Timeouts().Assign(timeouts);
  EXPECT_EQ(port.Timeouts().ReadInterval(), 7);
  port.Timeouts().SetReadInterval(8);
  EXPECT_EQ(port.timeouts, 1);
}

TEST(ComErrors, MessagesAndPlatformCodes) {
  struct Row {
    int32_t code;
    int64_t winError;
    const char* what;
    int reportedWinError;
  };
  const Row rows[] = {
      // The texts the pseudo-terminal tests meet are checked there.
      {CE_TimeoutsFailed, 9, "SetCommTimeouts failed (Error: 9)", 9},
      {CE_ConnChangeProp, 0, "Cannot set property while connected", -1},
      {CE_HasLink, -1, "A component is linked to OnRxBuf event", -1},
      {CE_LedStateFailed, 0, "Cannot change led state if ComPort is selected", -1},
      {CEPortNotOpen, 0, "Port Not Open", -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const EComPort error(row.code, row.winError);
    EXPECT_STREQ(error.what(), row.what);
    EXPECT_EQ(error.ErrorCode(), row.code);
    EXPECT_EQ(error.WinError(), row.reportedWinError);
  }
  EXPECT_EQ(ComErrorMessage(0), "");
  EXPECT_EQ(ComErrorMessage(25), "");
  for (int32_t code = 1; code <= 24; ++code) EXPECT_FALSE(ComErrorMessage(code).empty()) << code;
}

TEST(EventMask, BitsAndExactInverse) {
  struct Row {
    TComEvent event;
    uint32_t bit;
  };
  const Row rows[] = {{evRxChar, 0x0001}, {evRxFlag, 0x0002}, {evTxEmpty, 0x0004}, {evCTS, 0x0008},
                      {evDSR, 0x0010},    {evRLSD, 0x0020},   {evBreak, 0x0040},   {evError, 0x0080},
                      {evRing, 0x0100},   {evRx80Full, 0x0400}};
  for (const Row& row : rows) {
    EXPECT_EQ(EventsToMask(TComEvents{row.event}), row.bit) << row.event;
    EXPECT_EQ(MaskToEvents(row.bit), TComEvents{row.event}) << row.event;
  }
  for (uint32_t members = 0; members < 1024; ++members) {
    const TComEvents events = TComEvents::FromBits(static_cast<uint16_t>(members));
    ASSERT_EQ(MaskToEvents(EventsToMask(events)), events) << members;
  }
  // Bits of no event are ignored.
  EXPECT_EQ(MaskToEvents(0x0200 | 0x0800 | 0xF000 | 0x0001), TComEvents{evRxChar});
  EXPECT_EQ(EventsToMask(kAllComEvents), 0x05FFu);
}

TEST(PortNames, DeviceNamesLiveUnderDevPathsAreUsedAsGiven) {
  struct Row {
    const char* name;
    const char* path;
  };
  // A name with a "/" is a path used as given.
  const Row rows[] = {{"ttyUSB0", "/dev/ttyUSB0"}, {"ttyS12", "/dev/ttyS12"}, {"/dev/pts/5", "/dev/pts/5"},
                      {"pts/3", "pts/3"}, {"./link", "./link"}};
  for (const Row& row : rows) EXPECT_EQ(ComPortDevicePath(row.name), row.path) << row.name;
}

}  // namespace
}  // namespace voxa
