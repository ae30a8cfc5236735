// The serial port itself: its properties and when each sends its group of
// settings to the device, the opening and closing sequence, the reads, and
// the port names. Platform work is delegated to PortDevice (posix_port.cpp);
// the driver values to driver_record.cpp; events to com_events.cpp.

#include "serial/com_port.h"

#include <stdexcept>
#include <system_error>

#include "serial/com_thread.h"
#include "serial/gui_dispatcher.h"
#include "serial/posix_port.h"

namespace voxa {
namespace {

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

// ---------------------------------------------------------------- the port

TCustomComPort::TCustomComPort() : device_(std::make_unique<PortDevice>()) {
  buffer_.comPort_ = this;
  parity_.comPort_ = this;
  timeouts_.comPort_ = this;
  flowControl_.comPort_ = this;
}

TCustomComPort::~TCustomComPort() {
  try {
    ClosePort();
  } catch (...) {
    // A destructor cannot report; what ClosePort left undone follows below.
  }
  // ClosePort may have stopped early (a handler raised): the thread must
  // still end before the port it points to goes away.
  if (eventThread_) {
    eventThread_->RequestStop();
    eventThread_->WaitForEnd();
    eventThread_.reset();
  }
  retiredThread_.reset();
  device_->Close();
}

void TCustomComPort::RaiseComError(TComExceptions code, int64_t winError) {
  if (OnException) {
    const std::string winMessage =
        winError > 0 ? std::error_code(static_cast<int>(winError), std::generic_category()).message() : std::string();
    OnException(*this, code, ComErrorMessage(code), winError, winMessage);
    return;
  }
  throw EComPort(code, winError);
}

int TCustomComPort::Handle() const { return device_->Descriptor(); }

std::array<uint8_t, 28> TCustomComPort::BuildDeviceControlRecord() const {
  const LineSettings line{.baudRate = baudRate_,
                          .customBaudRate = customBaudRate_,
                          .dataBits = dataBits_,
                          .stopBits = stopBits_,
                          .discardNull = discardNull_,
                          .eventChar = eventChar_};
  return MakeDeviceControlRecord(line, parity_, flowControl_, buffer_);
}

std::array<uint32_t, 5> TCustomComPort::TimeoutValues() const { return MakeTimeoutValues(timeouts_); }

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
  if (value == baudRate_) return;
  baudRate_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t value) {
  if (value == customBaudRate_) return;
  customBaudRate_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value) {
  if (value == stopBits_) return;
  stopBits_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value) {
  if (value == dataBits_) return;
  dataBits_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value) {
  if (value == discardNull_) return;
  discardNull_ = value;
  ApplyLineSettings();
}

void TCustomComPort::SetEventChar(uint8_t value) {
  if (value == eventChar_) return;
  eventChar_ = value;
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
  flowControl_.Assign(value);
  ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == syncMethod_) return;
  // The running event thread was built for the old method.
  if (Connected()) {
    RaiseComError(CE_ConnChangeProp, 0);
    return;
  }
  syncMethod_ = value;
}

bool TCustomComPort::TriggersOnRxChar() const {
  return triggersOnRxChar_.load(std::memory_order_relaxed) && !hasLink_;
}

void TCustomComPort::SetTriggersOnRxChar(bool value) {
  if (hasLink_) {
    RaiseComError(CE_HasLink, 0);
    return;
  }
  triggersOnRxChar_.store(value, std::memory_order_relaxed);
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
    threadCreated_ = false;
  } else {
    StartEventThread();
    if (!Connected()) return;
  }
  DoAfterOpen();
  NotifySignalsOpened();
}

void TCustomComPort::ClosePort() {
  // A handler that runs while the port is closing may close it again.
  if (!Connected() || closing_) return;
  ClosingMark mark(closing_);
  NotifySignalsClosing();
  DoBeforeClose();
  CancelAllAsync();
  if (threadCreated_) StopEventThread();
  ClosePortHandle();
  connected_.store(false, std::memory_order_release);
  DoAfterClose();
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
