// The values the serial driver is given, without a device: each setting in
// its field of the device control record, and the time-outs as bit patterns.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "serial/com_port.h"

namespace voxa {
namespace {

uint32_t Field32(const std::array<uint8_t, 28>& record, int offset) {
  return static_cast<uint32_t>(record[offset]) | (static_cast<uint32_t>(record[offset + 1]) << 8) |
         (static_cast<uint32_t>(record[offset + 2]) << 16) | (static_cast<uint32_t>(record[offset + 3]) << 24);
}

TEST(DeviceControlRecord, EachSettingLandsInItsField) {
  struct Row {
    const char* legend;
    std::function<void(TComPort&)> set;
    uint32_t rate = 9600, flags = 0x0001;  // binary mode, always
    uint16_t limit = 256;
    uint8_t byteSize = 8, parity = 0, stopBits = 0, errorChar = 0, eventChar = 0;
  };
  const std::vector<Row> rows = {
      // 8N1, no flow control, XON/XOFF limits at a quarter of the 1024-byte input queue.
      {"115200 from the rate table", [](TComPort& p) { p.SetBaudRate(br115200); }, 115200},
      {"parity check alone keeps bytes", [](TComPort& p) { p.Parity().SetCheck(true); p.Parity().SetReplaceChar('?'); },
       9600, 0x0003},
      {"check and replace", [](TComPort& p) {
         p.Parity().SetCheck(true); p.Parity().SetReplace(true); p.Parity().SetReplaceChar('?'); },
       9600, 0x0403, 256, 8, 0, 0, '?'},
      {"replace without check", [](TComPort& p) { p.Parity().SetReplace(true); p.Parity().SetReplaceChar('?'); }},
      {"odd parity, 7 bits, 2 stop bits", [](TComPort& p) {
         p.Parity().SetBits(prOdd); p.SetDataBits(dbSeven); p.SetStopBits(sbTwoStopBits); },
       9600, 0x0001, 256, 7, 1, 2},
      {"space parity, 5 bits, 1.5 stop bits", [](TComPort& p) {
         p.Parity().SetBits(prSpace); p.SetDataBits(dbFive); p.SetStopBits(sbOne5StopBits); },
       9600, 0x0001, 256, 5, 4, 1},
      {"hardware flow", [](TComPort& p) { p.FlowControl().SetFlowControl(fcHardware); }, 9600, 0x2005},
      {"software flow", [](TComPort& p) { p.FlowControl().SetFlowControl(fcSoftware); }, 9600, 0x0301},
      {"DTR enable, RTS toggle", [](TComPort& p) {
         p.FlowControl().SetControlDTR(dtrEnable); p.FlowControl().SetControlRTS(rtsToggle); }, 9600, 0x3011},
      {"DTR handshake, RTS enable", [](TComPort& p) {
         p.FlowControl().SetControlDTR(dtrHandshake); p.FlowControl().SetControlRTS(rtsEnable); }, 9600, 0x1021},
      {"DSR flow, DSR sensitivity, continue after XOFF", [](TComPort& p) {
         p.FlowControl().SetOutDSRFlow(true); p.FlowControl().SetDSRSensitivity(true);
         p.FlowControl().SetTxContinueOnXoff(true); }, 9600, 0x00C9},
      {"discard null and event character", [](TComPort& p) { p.SetDiscardNull(true); p.SetEventChar('\n'); },
       9600, 0x0801, 256, 8, 0, 0, 0, '\n'},
      {"limits truncate a quarter of the input queue", [](TComPort& p) { p.Buffer().SetInputSize(1022); },
       9600, 0x0001, 255},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    TComPort port;
    row.set(port);
    const auto record = port.BuildDeviceControlRecord();
    EXPECT_EQ(Field32(record, 0), 28u);
    EXPECT_EQ(Field32(record, 4), row.rate);
    EXPECT_EQ(Field32(record, 8), row.flags);
    EXPECT_EQ(record[12] | (record[13] << 8), 0);
    EXPECT_EQ(record[14] | (record[15] << 8), row.limit);
    EXPECT_EQ(record[16] | (record[17] << 8), row.limit);
    EXPECT_EQ(record[18], row.byteSize);
    EXPECT_EQ(record[19], row.parity);
    EXPECT_EQ(record[20], row.stopBits);
    EXPECT_EQ(record[21], 0x11);
    EXPECT_EQ(record[22], 0x13);
    EXPECT_EQ(record[23], row.errorChar);
    EXPECT_EQ(record[24], 0);
    EXPECT_EQ(record[25], row.eventChar);
    EXPECT_EQ(record[26] | (record[27] << 8), 0);
  }
}

TEST(Timeouts, ValuesPassAsTheirBitPatterns) {
  TComPort port;
  // By default a read returns at once with what has arrived.
  EXPECT_EQ(port.TimeoutValues(), (std::array<uint32_t, 5>{0xFFFFFFFFu, 0, 0, 100, 1000}));

  port.Timeouts().SetReadInterval(-2);
  port.Timeouts().SetReadTotalMultiplier(-1);
  port.Timeouts().SetReadTotalConstant(2147483647);
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(-1);
  EXPECT_EQ(port.TimeoutValues(), (std::array<uint32_t, 5>{0xFFFFFFFEu, 0xFFFFFFFFu, 0x7FFFFFFFu, 0, 0xFFFFFFFFu}));
}

}  // namespace
}  // namespace voxa
