// Building the device control record and the time-outs. Fields are written
// byte by byte with explicit shifts, so the record is the same on any host.

#include "serial/driver_record.h"

namespace voxa {
namespace {

// The line rate of each TBaudRate; brCustom's slot is unused.
constexpr uint32_t kBaudRates[16] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                     14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

void PutLe16(std::array<uint8_t, 28>& record, int offset, uint16_t value) {
  record[offset] = static_cast<uint8_t>(value & 0xFF);
  record[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(std::array<uint8_t, 28>& record, int offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::array<uint8_t, 28> MakeDeviceControlRecord(const LineSettings& line, const TComParity& parity,
                                                const TComFlowControl& flowControl, const TComBuffer& buffer) {
  std::array<uint8_t, 28> record{};
  const uint32_t rate =
      line.baudRate == brCustom ? static_cast<uint32_t>(line.customBaudRate) : kBaudRates[line.baudRate];
  uint32_t flags = 0x0001;  // binary mode, always
  const bool replace = parity.Check() && parity.Replace();
  if (parity.Check()) flags |= 0x0002;
  if (flowControl.OutCTSFlow()) flags |= 0x0004;
  if (flowControl.OutDSRFlow()) flags |= 0x0008;
  static constexpr uint32_t kDtrField[3] = {0x0000, 0x0010, 0x0020};
  flags |= kDtrField[flowControl.ControlDTR()];
  if (flowControl.DSRSensitivity()) flags |= 0x0040;
  if (flowControl.TxContinueOnXoff()) flags |= 0x0080;
  if (flowControl.XonXoffOut()) flags |= 0x0100;
  if (flowControl.XonXoffIn()) flags |= 0x0200;
  if (replace) flags |= 0x0400;
  if (line.discardNull) flags |= 0x0800;
  static constexpr uint32_t kRtsField[4] = {0x0000, 0x1000, 0x2000, 0x3000};
  flags |= kRtsField[flowControl.ControlRTS()];
  // The flow limits are a quarter of the input queue, truncated toward zero.
  const uint16_t limit = static_cast<uint16_t>(buffer.InputSize() / 4);
  static constexpr uint8_t kByteSizes[4] = {5, 6, 7, 8};

  PutLe32(record, 0, 28);
  PutLe32(record, 4, rate);
  PutLe32(record, 8, flags);
  PutLe16(record, 12, 0);
  PutLe16(record, 14, limit);
  PutLe16(record, 16, limit);
  record[18] = kByteSizes[line.dataBits];
  record[19] = static_cast<uint8_t>(parity.Bits());
  record[20] = static_cast<uint8_t>(line.stopBits);
  record[21] = flowControl.XonChar();
  record[22] = flowControl.XoffChar();
  record[23] = replace ? parity.ReplaceChar() : 0;
  record[24] = 0;
  record[25] = line.eventChar;
  PutLe16(record, 26, 0);
  return record;
}

uint32_t TimeoutValue(int32_t value) {
  return value == -1 ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

std::array<uint32_t, 5> MakeTimeoutValues(const TComTimeouts& timeouts) {
  return {TimeoutValue(timeouts.ReadInterval()), TimeoutValue(timeouts.ReadTotalMultiplier()),
          TimeoutValue(timeouts.ReadTotalConstant()), TimeoutValue(timeouts.WriteTotalMultiplier()),
          TimeoutValue(timeouts.WriteTotalConstant())};
}

}  // namespace voxa
