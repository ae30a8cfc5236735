// The serial port component's settings logic, its opening and closing
// sequence, its reads and its failure messages. Platform work is delegated
// to PortDevice (posix_port.cpp); event delivery to TComThread.

#include "serial/com_port.h"

#include <cstdio>
#include <system_error>

#include "serial/com_thread.h"
#include "serial/gui_dispatcher.h"
#include "serial/posix_port.h"

namespace voxa {
namespace {

// Indexed by failure code - 1.
constexpr const char* kComErrorMessages[24] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open",
};

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

std::string ComErrorText(int32_t code, int64_t win_error) {
  std::string text = ComErrorMessage(code);
  if (win_error > 0) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, " (Error: %d)", static_cast<int>(win_error));
    text += suffix;
  }
  return text;
}

// Resets the "closing" mark however ClosePort is left.
class ClosingMark {
 public:
  explicit ClosingMark(bool& mark) : mark_(mark) { mark_ = true; }
  ~ClosingMark() { mark_ = false; }
  ClosingMark(const ClosingMark&) = delete;
  ClosingMark& operator=(const ClosingMark&) = delete;

 private:
  bool& mark_;
};

}  // namespace

// ---------------------------------------------------------------- failures

std::string ComErrorMessage(int32_t code) {
  if (code < 1 || code > 24) return std::string();
  return kComErrorMessages[code - 1];
}

EComPort::EComPort(int32_t code, int64_t win_error)
    : std::runtime_error(ComErrorText(code, win_error)),
      code_(code),
      win_error_(win_error > 0 ? static_cast<int32_t>(win_error) : -1) {}

uint32_t TimeoutValue(int32_t value) {
  return value == -1 ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

// ---------------------------------------------------------------- settings objects

void TComTimeouts::Assign(const TComTimeouts& source) {
  read_interval_ = source.read_interval_;
  read_total_multiplier_ = source.read_total_multiplier_;
  read_total_constant_ = source.read_total_constant_;
  write_total_multiplier_ = source.write_total_multiplier_;
  write_total_constant_ = source.write_total_constant_;
}

void TComTimeouts::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyTimeoutSettings();
}

// One setter per property, all alike: store a changed value, then have the
// owning port send the group to the device.
#define VOXA_SETTING(Class, Name, Type, member) \
  void Class::Set##Name(Type value) {           \
    if (value == member) return;                \
    member = value;                             \
    Changed();                                  \
  }

VOXA_SETTING(TComTimeouts, ReadInterval, int32_t, read_interval_)
VOXA_SETTING(TComTimeouts, ReadTotalMultiplier, int32_t, read_total_multiplier_)
VOXA_SETTING(TComTimeouts, ReadTotalConstant, int32_t, read_total_constant_)
VOXA_SETTING(TComTimeouts, WriteTotalMultiplier, int32_t, write_total_multiplier_)
VOXA_SETTING(TComTimeouts, WriteTotalConstant, int32_t, write_total_constant_)

void TComFlowControl::Assign(const TComFlowControl& source) {
  out_cts_flow_ = source.out_cts_flow_;
  out_dsr_flow_ = source.out_dsr_flow_;
  control_dtr_ = source.control_dtr_;
  control_rts_ = source.control_rts_;
  xon_xoff_out_ = source.xon_xoff_out_;
  xon_xoff_in_ = source.xon_xoff_in_;
  dsr_sensitivity_ = source.dsr_sensitivity_;
  tx_continue_on_xoff_ = source.tx_continue_on_xoff_;
  xon_char_ = source.xon_char_;
  xoff_char_ = source.xoff_char_;
}

void TComFlowControl::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyLineSettings();
}

VOXA_SETTING(TComFlowControl, OutCTSFlow, bool, out_cts_flow_)
VOXA_SETTING(TComFlowControl, OutDSRFlow, bool, out_dsr_flow_)
VOXA_SETTING(TComFlowControl, ControlDTR, TDTRFlowControl, control_dtr_)
VOXA_SETTING(TComFlowControl, ControlRTS, TRTSFlowControl, control_rts_)
VOXA_SETTING(TComFlowControl, XonXoffOut, bool, xon_xoff_out_)
VOXA_SETTING(TComFlowControl, XonXoffIn, bool, xon_xoff_in_)
VOXA_SETTING(TComFlowControl, DSRSensitivity, bool, dsr_sensitivity_)
VOXA_SETTING(TComFlowControl, TxContinueOnXoff, bool, tx_continue_on_xoff_)
VOXA_SETTING(TComFlowControl, XonChar, uint8_t, xon_char_)
VOXA_SETTING(TComFlowControl, XoffChar, uint8_t, xoff_char_)

TFlowControl TComFlowControl::FlowControl() const {
  if (control_rts_ == rtsHandshake && out_cts_flow_ && !xon_xoff_in_ && !xon_xoff_out_) return fcHardware;
  if (control_rts_ == rtsDisable && !out_cts_flow_ && xon_xoff_in_ && xon_xoff_out_) return fcSoftware;
  if (control_rts_ == rtsDisable && !out_cts_flow_ && !xon_xoff_in_ && !xon_xoff_out_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != fcCustom) {
    control_rts_ = rtsDisable;
    out_cts_flow_ = false;
    xon_xoff_in_ = false;
    xon_xoff_out_ = false;
    if (value == fcHardware) {
      control_rts_ = rtsHandshake;
      out_cts_flow_ = true;
    } else if (value == fcSoftware) {
      xon_xoff_in_ = true;
      xon_xoff_out_ = true;
    }
  }
  // The shorthand always re-sends the line settings, changed or not.
  Changed();
}

void TComParity::Assign(const TComParity& source) {
  bits_ = source.bits_;
  check_ = source.check_;
  replace_ = source.replace_;
  replace_char_ = source.replace_char_;
}

void TComParity::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyLineSettings();
}

VOXA_SETTING(TComParity, Bits, TParityBits, bits_)
VOXA_SETTING(TComParity, Check, bool, check_)
VOXA_SETTING(TComParity, Replace, bool, replace_)
VOXA_SETTING(TComParity, ReplaceChar, uint8_t, replace_char_)

void TComBuffer::Assign(const TComBuffer& source) {
  input_size_ = source.input_size_;
  output_size_ = source.output_size_;
}

void TComBuffer::Changed() {
  if (com_port_ != nullptr) com_port_->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(int32_t value) {
  if (value == input_size_) return;
  input_size_ = (value > 0 && value % 2 == 1) ? value - 1 : value;
  Changed();
}

void TComBuffer::SetOutputSize(int32_t value) {
  if (value == output_size_) return;
  output_size_ = (value > 0 && value % 2 == 1) ? value - 1 : value;
  Changed();
}

#undef VOXA_SETTING

// ---------------------------------------------------------------- the port

TCustomComPort::TCustomComPort() : device_(std::make_unique<PortDevice>()) {
  buffer_.com_port_ = this;
  parity_.com_port_ = this;
  timeouts_.com_port_ = this;
  flow_control_.com_port_ = this;
}

TCustomComPort::~TCustomComPort() {
  try {
    ClosePort();
  } catch (...) {
    // A destructor cannot report; what ClosePort left undone follows below.
  }
  // ClosePort may have stopped early (a handler raised): the thread must
  // still end before the port it points to goes away.
  if (event_thread_) {
    event_thread_->RequestStop();
    event_thread_->WaitForEnd();
    event_thread_.reset();
  }
  retired_thread_.reset();
  device_->Close();
}

void TCustomComPort::RaiseComError(TComExceptions code, int64_t win_error) {
  if (OnException) {
    const std::string win_message =
        win_error > 0 ? std::error_code(static_cast<int>(win_error), std::generic_category()).message() : std::string();
    OnException(*this, code, ComErrorMessage(code), win_error, win_message);
    return;
  }
  throw EComPort(code, win_error);
}

int TCustomComPort::Handle() const { return device_->Descriptor(); }

std::array<uint8_t, 28> TCustomComPort::BuildDeviceControlRecord() const {
  std::array<uint8_t, 28> record{};
  const uint32_t rate = baud_rate_ == brCustom ? static_cast<uint32_t>(custom_baud_rate_) : kBaudRates[baud_rate_];
  uint32_t flags = 0x0001;  // binary mode, always
  const bool replace = parity_.Check() && parity_.Replace();
  if (parity_.Check()) flags |= 0x0002;
  if (flow_control_.OutCTSFlow()) flags |= 0x0004;
  if (flow_control_.OutDSRFlow()) flags |= 0x0008;
  static constexpr uint32_t kDtrField[3] = {0x0000, 0x0010, 0x0020};
  flags |= kDtrField[flow_control_.ControlDTR()];
  if (flow_control_.DSRSensitivity()) flags |= 0x0040;
  if (flow_control_.TxContinueOnXoff()) flags |= 0x0080;
  if (flow_control_.XonXoffOut()) flags |= 0x0100;
  if (flow_control_.XonXoffIn()) flags |= 0x0200;
  if (replace) flags |= 0x0400;
  if (discard_null_) flags |= 0x0800;
  static constexpr uint32_t kRtsField[4] = {0x0000, 0x1000, 0x2000, 0x3000};
  flags |= kRtsField[flow_control_.ControlRTS()];
  // The flow limits are a quarter of the input queue, truncated toward zero.
  const uint16_t limit = static_cast<uint16_t>(buffer_.InputSize() / 4);
  static constexpr uint8_t kByteSizes[4] = {5, 6, 7, 8};

  PutLe32(record, 0, 28);
  PutLe32(record, 4, rate);
  PutLe32(record, 8, flags);
  PutLe16(record, 12, 0);
  PutLe16(record, 14, limit);
  PutLe16(record, 16, limit);
  record[18] = kByteSizes[data_bits_];
  record[19] = static_cast<uint8_t>(parity_.Bits());
  record[20] = static_cast<uint8_t>(stop_bits_);
  record[21] = flow_control_.XonChar();
  record[22] = flow_control_.XoffChar();
  record[23] = replace ? parity_.ReplaceChar() : 0;
  record[24] = 0;
  record[25] = event_char_;
  PutLe16(record, 26, 0);
  return record;
}

std::array<uint32_t, 5> TCustomComPort::TimeoutValues() const {
  return {TimeoutValue(timeouts_.ReadInterval()), TimeoutValue(timeouts_.ReadTotalMultiplier()),
          TimeoutValue(timeouts_.ReadTotalConstant()), TimeoutValue(timeouts_.WriteTotalMultiplier()),
          TimeoutValue(timeouts_.WriteTotalConstant())};
}

// ---------------------------------------------------------------- properties

void TCustomComPort::SetConnected(bool value) {
  if (value == Connected()) return;
  if (value) {
    OpenPort();
  } else {
    ClosePort();
  }
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (value == baud_rate_) return;
  baud_rate_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t value) {
  if (value == custom_baud_rate_) return;
  custom_baud_rate_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value) {
  if (value == stop_bits_) return;
  stop_bits_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value) {
  if (value == data_bits_) return;
  data_bits_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value) {
  if (value == discard_null_) return;
  discard_null_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetEventChar(uint8_t value) {
  if (value == event_char_) return;
  event_char_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& value) {
  if (value == port_) return;
  port_ = value;
  // An open port follows its name to the new device.
  if (Connected()) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetBuffer(const TComBuffer& value) {
  buffer_.Assign(value);
  ApplyBufferSizes();
}

void TCustomComPort::SetParity(const TComParity& value) {
  parity_.Assign(value);
  ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
  timeouts_.Assign(value);
  ApplyTimeoutSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
  flow_control_.Assign(value);
  ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == sync_method_) return;
  // The running event thread was built for the old method.
  if (Connected()) {
    RaiseComError(CE_ConnChangeProp, 0);
    return;
  }
  sync_method_ = value;
}

bool TCustomComPort::TriggersOnRxChar() const {
  return triggers_on_rx_char_.load(std::memory_order_relaxed) && !has_link_;
}

void TCustomComPort::SetTriggersOnRxChar(bool value) {
  if (has_link_) {
    RaiseComError(CE_HasLink, 0);
    return;
  }
  triggers_on_rx_char_.store(value, std::memory_order_relaxed);
}

// ---------------------------------------------------------------- apply

void TCustomComPort::ApplyBufferSizes() {
  if (!Connected()) return;
  if (const int error = device_->SetQueueSizes(buffer_.InputSize(), buffer_.OutputSize())) {
    RaiseComError(CE_SetupComFailed, error);
  }
}

void TCustomComPort::ApplyLineSettings() {
  if (!Connected()) return;
  if (const int error = device_->ApplyControlRecord(BuildDeviceControlRecord())) {
    RaiseComError(CE_SetStateFailed, error);
  }
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!Connected()) return;
  if (const int error = device_->ApplyTimeouts(TimeoutValues())) RaiseComError(CE_TimeoutsFailed, error);
}

void TCustomComPort::ConfigurePort() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

// ---------------------------------------------------------------- open and close

void TCustomComPort::OpenPortHandle() {
  if (const int error = device_->Open(ComPortDevicePath(port_))) RaiseComError(CE_OpenFailed, error);
}

void TCustomComPort::ClosePortHandle() {
  // A failed close raises nothing; the device layer forgets the descriptor
  // either way, since Linux has released it.
  device_->Close();
}

void TCustomComPort::OpenPort() {
  if (Connected()) return;
  ReapRetiredThread();
  DoBeforeOpen();
  OpenPortHandle();
  // With OnException assigned a failed open returns here: without a device
  // the port must not claim to be connected.
  if (!device_->IsOpen()) return;
  connected_.store(true, std::memory_order_release);
  try {
    ConfigurePort();
  } catch (...) {
    ClosePortHandle();
    connected_.store(false, std::memory_order_release);
    throw;
  }
  if (events_.Empty()) {
    thread_created_ = false;
  } else {
    StartEventThread();
    if (!Connected()) return;
  }
  DoAfterOpen();
  NotifySignalsOpened();
}

void TCustomComPort::StartEventThread() {
  if (sync_method_ != smNone && !dispatcher_) {
    ClosePortHandle();
    connected_.store(false, std::memory_order_release);
    throw std::logic_error("serial port events under thread or window sync need a GUI dispatcher");
  }
  // Recorded before the thread runs: its first handler may already close the
  // port, and must then find the thread to stop.
  event_thread_ = std::make_unique<TComThread>(*this);
  thread_created_ = true;
  if (const int error = event_thread_->Start()) {
    event_thread_.reset();
    thread_created_ = false;
    ClosePortHandle();
    connected_.store(false, std::memory_order_release);
    RaiseComError(CE_WaitFailed, error);
  }
}

void TCustomComPort::StopEventThread() {
  TComThread& thread = *event_thread_;
  thread.RequestStop();
  if (thread.IsCurrentThread()) {
    // A handler on the event thread closes the port: the thread cannot wait
    // for itself. It ends as soon as the handler returns.
    thread.ReleaseDeviceHere();
    if (retired_thread_) retired_thread_.reset();
    retired_thread_ = std::move(event_thread_);
  } else {
    thread.WaitForEnd();
    event_thread_.reset();
  }
  thread_created_ = false;
}

void TCustomComPort::ReapRetiredThread() {
  if (retired_thread_ && !retired_thread_->IsCurrentThread()) retired_thread_.reset();
}

void TCustomComPort::ClosePort() {
  // A handler that runs while the port is closing may close it again.
  if (!Connected() || closing_) return;
  ClosingMark mark(closing_);
  NotifySignalsClosing();
  DoBeforeClose();
  CancelAllAsync();
  if (thread_created_) StopEventThread();
  ClosePortHandle();
  connected_.store(false, std::memory_order_release);
  DoAfterClose();
}

void TCustomComPort::NotifySignalsOpened() {
  // One read of the lines before each event.
  DoCTSChange(ReadModemSignals().Contains(msCTS));
  DoDSRChange(ReadModemSignals().Contains(msDSR));
  DoRLSDChange(ReadModemSignals().Contains(msRLSD));
}

void TCustomComPort::NotifySignalsClosing() {
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
}

// ---------------------------------------------------------------- reading

int32_t TCustomComPort::InQueueCount() {
  uint32_t errors = 0;
  int32_t queued = 0;
  if (const int error = device_->ClearErrors(errors, queued)) {
    RaiseComError(CE_ClearComFailed, error);
    return 0;
  }
  return queued;
}

int32_t TCustomComPort::ReadBytes(void* buffer, int32_t count) {
  if (!device_->IsOpen()) {
    RaiseComError(CEPortNotOpen, 0);
    return 0;
  }
  int32_t got = 0;
  if (const int error = device_->Read(static_cast<uint8_t*>(buffer), count, got)) {
    RaiseComError(CE_ReadFailed, error);
    return 0;
  }
  return got;
}

int32_t TCustomComPort::ReadText(std::string& text, int32_t count) {
  if (count <= 0) {
    // Nothing is read, but a closed port is still reported as one.
    text.clear();
    if (!device_->IsOpen()) RaiseComError(CEPortNotOpen, 0);
    return 0;
  }
  // Resizing within the string's capacity allocates nothing.
  text.resize(static_cast<size_t>(count));
  int32_t got = 0;
  try {
    got = ReadBytes(text.data(), count);
  } catch (...) {
    text.clear();
    throw;
  }
  text.resize(static_cast<size_t>(got));
  return got;
}

TComErrors TCustomComPort::ReadLineErrors() {
  uint32_t flags = 0;
  int32_t queued = 0;
  if (const int error = device_->ClearErrors(flags, queued)) {
    RaiseComError(CE_ClearComFailed, error);
    return {};
  }
  TComErrors errors;
  if (flags & kLineFrame) errors.Include(ceFrame);
  // Parity errors count only where parity is checked.
  if ((flags & kLineParity) && parity_.Check()) errors.Include(ceRxParity);
  if (flags & kLineOverrun) errors.Include(ceOverrun);
  if (flags & kLineRxOver) errors.Include(ceRxOver);
  if (flags & kLineTxFull) errors.Include(ceTxFull);
  if (flags & kLineBreak) errors.Include(ceBreak);
  if (flags & kLineIo) errors.Include(ceIO);
  if (flags & kLineMode) errors.Include(ceMode);
  return errors;
}

TModemSignals TCustomComPort::ReadModemSignals() {
  uint32_t lines = 0;
  if (const int error = device_->ModemStatus(lines)) {
    RaiseComError(CE_ModemStatFailed, error);
    return {};
  }
  TModemSignals signals;
  if (lines & kModemCts) signals.Include(msCTS);
  if (lines & kModemDsr) signals.Include(msDSR);
  if (lines & kModemRing) signals.Include(msRing);
  if (lines & kModemRlsd) signals.Include(msRLSD);
  return signals;
}

void TCustomComPort::CancelAllAsync() {
  if (const int error = device_->CancelPending()) RaiseComError(CE_PurgeFailed, error);
}

// ---------------------------------------------------------------- event handling

void TCustomComPort::RunEventHandlers(TComEvents events) {
  for (TComEvent event : kEventHandlingOrder) {
    if (!events.Contains(event)) continue;
    // A handler may have closed the port: what is left would act on a closed device.
    if (!Connected()) return;
    HandleEvent(event);
  }
}

void TCustomComPort::HandleEvent(TComEvent event) {
  switch (event) {
    case evError: {
      const TComErrors errors = ReadLineErrors();
      if (!errors.Empty()) DoError(errors);
      break;
    }
    case evRxChar: HandleReceive(); break;
    case evTxEmpty: DoTxEmpty(); break;
    case evBreak: DoBreak(); break;
    case evRing: DoRing(); break;
    case evCTS: DoCTSChange(ReadModemSignals().Contains(msCTS)); break;
    case evDSR: DoDSRChange(ReadModemSignals().Contains(msDSR)); break;
    case evRxFlag: DoRxFlag(); break;
    case evRLSD: DoRLSDChange(ReadModemSignals().Contains(msRLSD)); break;
    case evRx80Full: DoRx80Full(); break;
  }
}

void TCustomComPort::HandleReceive() {
  int32_t count = InQueueCount();
  if (count > 0 && !TriggersOnRxChar()) {
    // The component reads for the handler; the buffer is kept between
    // events so that steady reception allocates nothing.
    if (rx_buffer_.size() < static_cast<size_t>(count)) rx_buffer_.resize(static_cast<size_t>(count));
    const int32_t got = ReadBytes(rx_buffer_.data(), count);
    // Only what was read is handed on, never the unfilled rest.
    count = 0;
    if (got > 0) DoRxBuf(rx_buffer_.data(), got);
  }
  if (count > 0) DoRxChar(count);
}

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(*this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(*this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(*this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(*this); }
void TCustomComPort::DoRxChar(int32_t count) { if (OnRxChar) OnRxChar(*this, count); }
void TCustomComPort::DoRxBuf(const uint8_t* buffer, int32_t count) { if (OnRxBuf) OnRxBuf(*this, buffer, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(*this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(*this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(*this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(*this); }
void TCustomComPort::DoCTSChange(bool on_off) { if (OnCTSChange) OnCTSChange(*this, on_off); }
void TCustomComPort::DoDSRChange(bool on_off) { if (OnDSRChange) OnDSRChange(*this, on_off); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(*this, errors); }
void TCustomComPort::DoRLSDChange(bool on_off) { if (OnRLSDChange) OnRLSDChange(*this, on_off); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(*this); }

// ---------------------------------------------------------------- port names

std::string ComPortDevicePath(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  return "/dev/" + name;
}

bool ComPortAvailable(const std::string& name) {
  if (name.empty()) return false;
  return PortCanBeOpened(ComPortDevicePath(name));
}

}  // namespace voxa
